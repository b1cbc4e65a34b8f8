// Loading and saving a show of 10,000 cues through the main window (media copying aside).
// Prints one line per figure: name, measured median, target, PASS or MISS.
// SORVANE_BENCH_QUICK=1 (or the argument "quick") runs once, to prove it still runs.

#include "app/Form1.h"
#include "core/Module1.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "platform/Dialogs.h"
#include "showfiles/ShowFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace sorvane;

namespace {

constexpr int kCues = 10000;

// A show of every action, as the save writes it.
QByteArray MakeShow() {
    QByteArray text;
    for (int i = 1; i <= kCues; ++i) {
        const int action = i % 9;
        text +=
            QStringLiteral("%1,Cue %1 - rain and thunder,%2,%3,%4,0,%5,1.25,%6,%7,%8,%9,0,%10,\r\n")
                .arg(i)
                .arg(i % 3)
                .arg(action)
                .arg(action == 8 ? 500 : 0)
                .arg(-(i % 4000))
                .arg(i % 2)
                .arg(i % 5)
                .arg(i % 11)
                .arg(i % 4)
                .arg(QString::number(10 + (i % 200) / 4.0))
                .toLatin1();
    }
    return text;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Report(const char* name, double value, double target) {
    std::printf("%s %.1f %.0f %s\n", name, value, target, value <= target ? "PASS" : "MISS");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool quick = qEnvironmentVariableIntValue("SORVANE_BENCH_QUICK") != 0 ||
                       (argc > 1 && std::strcmp(argv[1], "quick") == 0);
    const int kRuns = quick ? 1 : 7;
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-config"))));

    const QString showPath = dir.filePath(QStringLiteral("big.cue"));
    {
        QFile f(showPath);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(MakeShow());
    }

    ScriptedDialogs dialogs;
    Form1 form(QString(), dialogs);
    form.Show();
    QApplication::processEvents();
    ShowFiles& files = form.showFiles();
    files.savePause = 0; // the fixed pause before the media pass is not the save's work
    QTreeView* list = form.cues().ListView1();

    std::vector<double> load, save;
    for (int run = 0; run < kRuns; ++run) {
        files.Command1_Click(); // start from an empty list
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        files.LoadShow(showPath);
        list->viewport()->repaint(); // the first redraw of the loaded list
        load.push_back(t.nsecsElapsed() / 1e6);
        if (form.cues().model().count() != kCues) {
            std::fprintf(stderr, "loaded %d cues\n", form.cues().model().count());
            return 1;
        }
        QApplication::processEvents();

        dialogs.queueFile(dir.filePath(QStringLiteral("saved-%1.cue").arg(run)));
        t.restart();
        files.SaveShow();
        save.push_back(t.nsecsElapsed() / 1e6);
        if (QFile(dir.filePath(QStringLiteral("saved-%1.cue").arg(run))).size() < kCues * 20) {
            std::fprintf(stderr, "save wrote too little\n");
            return 1;
        }
    }
    Report("showfiles_load_10000_cues_with_first_redraw_ms_median", Median(load), 300);
    Report("showfiles_save_10000_cues_ms_median", Median(save), 300);
    return 0;
}
