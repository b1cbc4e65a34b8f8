// A show with one 10 MB description: its load with the first redraw, in time and memory; and
// a save that copies a 1 GB media file: the longest time the event loop stands still meanwhile.
// Prints one line per figure: name, measured median, target, PASS or MISS.
// SORVANE_BENCH_QUICK=1 (or the argument "quick") runs small sizes once, to prove it still runs.

#include "app/Form1.h"
#include "core/Module1.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "platform/Dialogs.h"
#include "showfiles/ShowFiles.h"
#include "../../tests/support/WavHeader.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace sorvane;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Report(const char* name, double value, const char* unit, double target) {
    std::printf("%s %.1f %s %.0f %s %s\n", name, value, unit, target, unit,
                value <= target ? "PASS" : "MISS");
    std::fflush(stdout);
}

// A field of /proc/self/status in kB (VmRSS, VmHWM).
long StatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(std::strlen(field)) + 1)
                .trimmed()
                .split(' ')
                .first()
                .toLong();
    return 0;
}

// Resets the peak memory figure of the process to what it uses now.
void ResetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// A WAV header for `bytes` bytes of 16-bit mono silence, the data left as a hole.
bool WriteSparseWav(const QString& path, qint64 bytes) {
    const quint32 data = static_cast<quint32>(bytes - 44);
    const QByteArray head =
        sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 1, 44100, 16, data);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size()) return false;
    f.close();
    return ::truncate(QFile::encodeName(path).constData(), bytes) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool quick = qEnvironmentVariableIntValue("SORVANE_BENCH_QUICK") != 0 ||
                       (argc > 1 && std::strcmp(argv[1], "quick") == 0);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-config"))));

    ScriptedDialogs dialogs;
    Form1 form(QString(), dialogs);
    form.Show();
    QApplication::processEvents();
    ShowFiles& files = form.showFiles();
    files.savePause = 0;
    QTreeView* list = form.cues().ListView1();

    // --- one huge description ------------------------------------------------------------
    const qint64 fieldBytes = quick ? 1024 * 1024 : 10 * 1024 * 1024;
    const QString hugeShow = dir.filePath(QStringLiteral("huge.cue"));
    {
        QByteArray text = "1,";
        text.reserve(fieldBytes + 200);
        for (qint64 i = 0; i < fieldBytes; ++i)
            text += (i % 9) == 0 ? ' ' : static_cast<char>('a' + (i * 7) % 26);
        text += ",0,0,0,0,0,1,0,0,10,1,0,0,\r\n2,Next,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        QFile f(hugeShow);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return 1;
    }
    std::vector<double> loadMs, loadMb;
    for (int run = 0; run < (quick ? 1 : 5); ++run) {
        files.Command1_Click();
        QApplication::processEvents();
        const long before = StatusKb("VmRSS:");
        ResetPeak();
        QElapsedTimer t;
        t.start();
        files.LoadShow(hugeShow);
        list->viewport()->repaint(); // the first redraw of the loaded list
        QApplication::processEvents();
        loadMs.push_back(t.nsecsElapsed() / 1e6);
        loadMb.push_back((StatusKb("VmHWM:") - before) / 1024.0);
        if (form.cues().model().count() != 2 ||
            form.cues().model().row(0).at(kDescription).text.size() != fieldBytes) {
            std::fprintf(stderr, "the huge description did not load whole\n");
            return 1;
        }
    }
    Report("showfiles_load_10mb_description_with_first_redraw_median", Median(loadMs), "ms", 1000);
    // "A few times its size": the text lives as UTF-16, two bytes a character, so the target
    // is four such copies at the peak (eight times the field's bytes).
    Report("showfiles_load_10mb_description_peak_memory_median", Median(loadMb), "MB",
           8.0 * fieldBytes / (1024 * 1024));
    files.Command1_Click();

    // --- a save copying a large media file ---------------------------------------------------
    const qint64 mediaBytes = quick ? 64LL * 1024 * 1024 : 1024LL * 1024 * 1024;
    const QString media = dir.filePath(QStringLiteral("media/big.wav"));
    QDir().mkpath(dir.filePath(QStringLiteral("media")));
    if (!WriteSparseWav(media, mediaBytes)) return 1;
    {
        CueRow r;
        r.text = QStringLiteral("1");
        for (int k = 1; k <= kSubItemCount; ++k)
            r.at(k) = {StoredValue::text(QStringLiteral("0")), QStringLiteral("0")};
        r.at(kFile) = {StoredValue::text(media), media};
        form.cues().model().setRows({r});
    }
    std::vector<double> gaps, copySeconds;
    for (int run = 0; run < (quick ? 1 : 3); ++run) {
        form.cues().model().setSubValue(0, kFile, StoredValue::text(media));
        const QString show = dir.filePath(QStringLiteral("save-%1/show.cue").arg(run));
        QElapsedTimer sinceTick;
        QElapsedTimer t;
        t.start();
        double longest = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (sinceTick.isValid()) longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.start();
        });
        tick.start();
        dialogs.queueFile(show);
        files.SaveShow();
        copySeconds.push_back(t.nsecsElapsed() / 1e9);
        tick.stop();
        gaps.push_back(longest);
        const QString copy = dir.filePath(QStringLiteral("save-%1/ShowFiles/big.wav").arg(run));
        if (QFileInfo(copy).size() != mediaBytes) {
            std::fprintf(stderr, "the media was not copied whole\n");
            return 1;
        }
        QFile::remove(copy);
    }
    Report("showfiles_save_1gb_copy_longest_event_loop_gap_median", Median(gaps), "ms", 50);
    std::fprintf(stderr, "(the copy took %.2f s, median)\n", Median(copySeconds));
    return 0;
}
