// Media preparation figures:
//  - the waveform (LoadGraph) of a two-hour 16-bit stereo 48 kHz WAV, read from the disk and
//    from the page cache, and of a 10 GB WAV: the time to the picture, the longest time the
//    window goes without handling events, and the memory the reading adds;
//  - Browse of a one-hour MP3 without a VBR header, from the file chosen to the fields written;
//  - the marker editor's 10-ms tick while a marker is dragged and the preview plays.
// The media are made at run time in a temporary folder. `--quick` (or SORVANE_BENCH_QUICK=1)
// uses one minute of media and few runs, to show the program still runs.

#include "../../tests/support/WavHeader.h"
#include "../engine/BenchCommon.h"
#include "app/Form1.h"
#include "core/Module1.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/PropertiesPanel.h"
#include "media/Form5.h"
#include "media/MediaCommands.h"
#include "media/MediaFields.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <vector>

using namespace sorvane;

namespace {

// A 16-bit stereo 48 kHz WAV of `seconds`, written in large blocks: a tone whose level
// swells and falls, so the picture has a shape.
bool WriteLongWav(const QString& path, int seconds) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    constexpr int rate = 48000;
    const std::uint64_t frames = static_cast<std::uint64_t>(seconds) * rate;
    const auto data = static_cast<std::uint32_t>(frames * 4);
    f.write(sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 2, rate, 16, data));
    // One second of tone, scaled per second by the swell.
    std::vector<float> tone(rate);
    for (int i = 0; i < rate; ++i)
        tone[static_cast<std::size_t>(i)] =
            static_cast<float>(std::sin(2 * M_PI * 441.0 * i / rate));
    std::vector<std::int16_t> block(static_cast<std::size_t>(rate) * 2);
    for (int s = 0; s < seconds; ++s) {
        const double level = 0.1 + 0.8 * std::fabs(std::sin(s / 37.0));
        for (int i = 0; i < rate; ++i) {
            const auto v =
                static_cast<std::int16_t>(level * 32000 * tone[static_cast<std::size_t>(i)]);
            block[2 * static_cast<std::size_t>(i)] = v;
            block[2 * static_cast<std::size_t>(i) + 1] = v;
        }
        const auto bytes = static_cast<qint64>(block.size() * 2);
        if (f.write(reinterpret_cast<const char*>(block.data()), bytes) != bytes) return false;
    }
    return true;
}

// Reads a file once so that it lies in the page cache.
void Warm(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    std::vector<char> buffer(8 << 20);
    while (f.read(buffer.data(), static_cast<qint64>(buffer.size())) > 0) {
    }
}

// An MP3 of `minutes` without a VBR header or tags: one minute of constant bit rate frames,
// repeated.
bool MakeLongMp3(const QString& dir, const QString& path, int minutes) {
    const QString minute = dir + QStringLiteral("/minute.mp3");
    if (!bench::make(minute, 60,
                     {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version",
                      "0", "-f", "mp3"}))
        return false;
    QFile in(minute);
    if (!in.open(QIODevice::ReadOnly)) return false;
    const QByteArray frames = in.readAll();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    for (int i = 0; i < minutes; ++i)
        if (out.write(frames) != frames.size()) return false;
    return true;
}

class NoFields final : public MediaFields {
public:
    QString FileText() const override { return {}; }
    QString StartPosText() const override { return {}; }
    QString EndPosText() const override { return {}; }
    void PutFile(const QString&) override {}
    void PutStartPos(const QString&) override {}
    void PutEndPos(const QString&) override {}
    void ListView1_Click() override {}
    CueRef SelectedCue() const override { return {}; }
    CuePlace Locate(const CueRef&) const override { return CuePlace::Selected; }
    void StoreInCue(const CueRef&, const QString&, const QString&, const QString&) override {}
};

QString Ms(double ms) {
    return QString::number(ms, 'f', 2) + QStringLiteral(" ms");
}

// A figure of /proc/self/status, in kB.
long StatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLong();
    return 0;
}

// Drops a file's pages from the cache, so that the next read comes from the disk.
void Cool(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) posix_fadvise(f.handle(), 0, 0, POSIX_FADV_DONTNEED);
}

// Loads of the waveform of `file`: the time to the picture, the longest time the window went
// without handling an event (a 1-ms timer's ticks), and what the reading added to the peak of
// the program's memory. Returns 1 on a miss outside the quick mode.
int WaveformFigures(Form5& form, const QString& file, const QString& name, bool cold, int runs,
                    bool quick) {
    std::vector<double> ms, gaps, grown;
    bool drawn = true;
    for (int i = 0; i < runs; ++i) {
        if (cold) Cool(file);
        QElapsedTimer t;
        double last = 0, gap = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double now = t.nsecsElapsed() / 1e6;
            gap = std::max(gap, now - last);
            last = now;
        });
        tick.start(1);
        QFile clear(QStringLiteral("/proc/self/clear_refs")); // the peak starts anew
        if (clear.open(QIODevice::WriteOnly)) clear.write("5");
        clear.close();
        const long before = StatusKb("VmRSS:");
        t.start();
        form.LoadGraph(file);
        const double total = t.nsecsElapsed() / 1e6;
        ms.push_back(total);
        gaps.push_back(std::max(gap, total - last));
        grown.push_back((StatusKb("VmHWM:") - before) / 1024.0);
        drawn = drawn && form.Picture1->bandVisible;
    }
    const double m = bench::median(ms), gap = bench::maximum(gaps), mb = bench::maximum(grown);
    bench::figure(QStringLiteral("waveform %1").arg(name),
                  QStringLiteral("picture after %1 (median)").arg(Ms(m)), QStringLiteral("drawn"),
                  drawn);
    bench::figure(QStringLiteral("  longest time without events"), Ms(gap),
                  QStringLiteral("<= 100 ms"), drawn && gap <= 100);
    bench::figure(QStringLiteral("  memory added while reading"),
                  QStringLiteral("%1 MB").arg(mb, 0, 'f', 1), QStringLiteral("<= 64 MB"), mb <= 64);
    return !quick && !(drawn && gap <= 100 && mb <= 64) ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = bench::isQuick(argc, argv);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const int seconds = quick ? 60 : 3600;
    const int wavSeconds = quick ? 60 : 7200;
    const int runs = quick ? 2 : 7;
    const QString suffix = quick ? QStringLiteral(" (quick)") : QString();
    int status = 0;
    AudioEngine::Options offline;
    offline.output = AudioEngine::Output::Offline;
    AudioEngine engine(offline);

    // --- the waveform -------------------------------------------------------------------
    const QString wav = dir.filePath(QStringLiteral("long.wav"));
    const QString huge = dir.filePath(QStringLiteral("huge.wav"));
    if (!WriteLongWav(wav, wavSeconds) || !WriteLongWav(huge, 1) ||
        !QFile::resize(huge, quick ? qint64(1) << 30 : qint64(10) << 30)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(wav));
        return 1;
    }
    {
        NoFields fields;
        Form5 form(engine, fields, nullptr);
        MediaLength = wavSeconds;
        form.MediaPlayer1->setSelectionStart(10);
        form.MediaPlayer1->setSelectionEnd(wavSeconds - 10);
        form.SetMarkers(); // the band shows once a picture has been drawn
        const QString name = QStringLiteral("%1 s WAV").arg(wavSeconds);
        const QString big = QStringLiteral("%1 GB WAV").arg(quick ? 1 : 10);
        status |=
            WaveformFigures(form, wav, name + QStringLiteral(", cold") + suffix, true, runs, quick);
        status |= WaveformFigures(form, wav, name + QStringLiteral(", cached") + suffix, false,
                                  runs, quick);
        status |= WaveformFigures(form, huge, big + suffix, false, 1, quick);
    }

    // --- Browse of a one-hour MP3 ---------------------------------------------------------
    const QString mp3 = dir.filePath(QStringLiteral("hour.mp3"));
    if (!MakeLongMp3(dir.path(), mp3, seconds / 60)) return 1;
    Warm(mp3);
    {
        ScriptedDialogs dialogs;
        Form1 form(QString(), dialogs, &engine);
        form.cues().cmdAddCue_Click();
        std::vector<double> ms;
        double length = 0;
        for (int i = 0; i < runs; ++i) {
            form.media().mpTemp().setFileName(QString()); // every run loads afresh
            dialogs.queueFile(mp3);
            dialogs.queueAnswer(MsgResult::No);
            QElapsedTimer t;
            t.start();
            form.media().cmdBrowse_Click();
            ms.push_back(t.nsecsElapsed() / 1e6);
            length = form.cues().panel().txtEndPos()->text().toDouble();
        }
        const double m = bench::median(ms);
        // Each repeated minute keeps its encoder's padding: about 30 ms more per minute.
        const bool pass = std::fabs(length - seconds) < 0.05 * seconds / 60 + 0.5 && m <= 150;
        bench::figure(
            QStringLiteral("Browse %1 s MP3 without VBR header%2").arg(seconds).arg(suffix),
            QStringLiteral("median %1, length %2 s").arg(Ms(m)).arg(length),
            QStringLiteral("<= 150 ms"), pass);
        if (!pass && !quick) status = 1;
    }

    // --- the editor's tick during a drag and playback ---------------------------------------
    {
        NoFields fields;
        Form5 form(engine, fields, nullptr);
        form.Timer1->stop(); // the ticks are driven here
        form.MediaPlayer1->setFileName(wav);
        MediaLength = form.MediaPlayer1->SelectionEnd();
        form.MediaPlayer1->setSelectionStart(10);
        form.MediaPlayer1->setSelectionEnd(MediaLength - 10);
        form.SetMarkers();
        form.LoadGraph(wav);
        form.MediaPlayer1->Play();
        std::vector<float> out(2 * 480);
        double x = 0;
        form.cursorXTw = [&x] { return x; };
        DragMarker = 0;
        const int ticks = quick ? 300 : 5000;
        std::vector<double> us;
        us.reserve(static_cast<std::size_t>(ticks));
        for (int i = 0; i < ticks; ++i) {
            x = std::fmod(i * 7.0, 8000.0);
            engine.renderOffline(out.data(), 480); // 10 ms of playback between ticks
            QElapsedTimer t;
            t.start();
            form.Timer1_Timer();
            us.push_back(t.nsecsElapsed() / 1e3);
        }
        DragMarker = -1;
        const double m = bench::median(us) / 1000;
        const bool playing = form.MediaPlayer1->PlayState() == 2;
        const bool pass = playing && m <= 1;
        bench::figure(QStringLiteral("editor 10-ms tick, dragging and playing%1").arg(suffix),
                      QStringLiteral("median %1, max %2").arg(Ms(m), Ms(bench::maximum(us) / 1000)),
                      QStringLiteral("<= 1 ms"), pass);
        if (!pass && !quick) status = 1;
    }
    return status;
}
