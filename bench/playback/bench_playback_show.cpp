// Show playback at a real sound server: the real main window (offscreen) with the program's
// sound engine playing through SDL's pulseaudio driver into a private PulseAudio daemon,
// GO given by mouse press and release on the GO button, and every figure read at the sink:
// GO latency, the gap of a chain on completion, the spread of a chain of 16 cues, the
// duration of fades, the CPU cost of a waiting show, the cost of a meter tick, and how soon
// Stop takes effect in long and runaway chains.

#include "PlaybackBench.h"
#include "app/Form1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

namespace {

using bench::SinkCapture;
constexpr int kRate = SinkCapture::kRate;

// One cue line of a text show file.
struct Cue {
    QString description;
    int when = 1;   // 0 along with, 1 after execution, 2 after completion of the previous cue
    int action = 0; // 0 Play Sound, 4 Change Volume, 5 Trigger, 7 Buffer Sound, 8 Delay
    int value = 0;  // the target cue of a Trigger, the milliseconds of a Delay
    QString file = QStringLiteral("0");
    int volume = 0;
    int beginOn = 0; // 0 Go, 1 Auto
    int channel = 0;
    int speed = 10;
    int count = 1;
    double start = 0;
};

QString writeShow(const QString& path, const std::vector<Cue>& cues) {
    QByteArray text;
    int n = 0;
    for (const Cue& c : cues) {
        const QStringList f = {QString::number(++n),
                               c.description,
                               QString::number(c.when),
                               QString::number(c.action),
                               QString::number(c.value),
                               c.file,
                               QString::number(c.volume),
                               QStringLiteral("1"),
                               QString::number(c.beginOn),
                               QString::number(c.channel),
                               QString::number(c.speed),
                               QString::number(c.count),
                               QString::number(c.start, 'g', 15),
                               QStringLiteral("0")};
        for (const QString& field : f)
            text += field.toUtf8() + ',';
        text += "\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return {};
    return path;
}

// A stereo tone of `hz`, sine on the left and cosine on the right, so that no frame of it is
// silent on both channels.
bool makeTone(const QString& path, double hz, double seconds, double level = 0.2) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                       QStringLiteral("aevalsrc=%1*sin(2*PI*%2*t)|%1*cos(2*PI*%2*t):s=48000:d=%3")
                           .arg(level)
                           .arg(hz)
                           .arg(seconds),
                       "-c:a", "pcm_s16le", path});
    return p.waitForFinished(600000) && p.exitCode() == 0;
}

class Bench {
public:
    Bench(SinkCapture& sink, sorvane::AudioEngine& engine, const QString& dir, bool quick)
        : sink_(sink), engine_(engine), dir_(dir), quick_(quick) {}

    // Opens the main window on a show made of `cues`, as the command line would.
    bool open(const std::vector<Cue>& cues) {
        form_.reset();
        pump(50);
        const QString show = writeShow(dir_ + QStringLiteral("/show%1.cue").arg(++shows_), cues);
        if (show.isEmpty()) return false;
        form_ = std::make_unique<sorvane::Form1>(show, dialogs_, &engine_);
        form_->Show();
        pump(100);
        return true;
    }
    void close() {
        if (form_) stop();
        form_.reset();
        pump(50);
    }
    sorvane::Form1& form() { return *form_; }

    // A mouse press and release on GO; returns the moment of the press.
    std::int64_t go() {
        QPushButton* button = form_->frame().cmdGo;
        // The debounce keeps GO disabled for a moment after each press.
        pumpUntil([&] { return button->isEnabled(); }, 2000);
        const std::int64_t t0 = bench::nowNs();
        QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        return t0;
    }
    void stop() {
        QPushButton* button = form_->frame().cmdStop;
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        bench::pumpUntilSilent(sink_, 30, 3000);
    }
    static void pump(double ms) { bench::pump(ms); }
    static bool pumpUntil(const std::function<bool()>& f, double ms) {
        return bench::pumpUntil(f, ms);
    }

    SinkCapture& sink_;
    sorvane::AudioEngine& engine_;
    QString dir_;
    bool quick_;
    sorvane::ScriptedDialogs dialogs_;
    std::unique_ptr<sorvane::Form1> form_;
    int shows_ = 0;
};

struct Stats {
    std::vector<double> values;
    int missing = 0, dropouts = 0;
    QString text(const char* unit = "ms") const {
        if (values.empty()) return QStringLiteral("no measurement in %1 runs").arg(missing);
        QString t = QStringLiteral("median %1 %4 (max %2, %3 runs)")
                        .arg(bench::median(values), 0, 'f', 2)
                        .arg(bench::maximum(values), 0, 'f', 2)
                        .arg(values.size() + missing)
                        .arg(unit);
        if (missing) t += QStringLiteral(", %1 without sound").arg(missing);
        if (dropouts) t += QStringLiteral(", %1 dropouts").arg(dropouts);
        return t;
    }
    bool within(double target) const {
        return !values.empty() && missing == 0 && dropouts == 0 && bench::median(values) <= target;
    }
};

// A Buffer Sound cue that prepares `file` on `channel`.
Cue prepareCue(const QString& file, int channel = 0) {
    Cue c;
    c.description = QStringLiteral("Prepare");
    c.action = 7;
    c.file = file;
    c.channel = channel;
    return c;
}

// GO latency: GO on a Play Sound cue, or on one prepared by a Buffer Sound cue before it.
bool goLatency(Bench& b, const QString& name, const QStringList& files, double at, bool buffered,
               int runs, double target) {
    std::vector<Cue> cues;
    for (int i = 0; i < runs; ++i) {
        const QString file = files[i % files.size()];
        if (buffered) cues.push_back(prepareCue(file));
        Cue play;
        play.description = QStringLiteral("Play");
        play.file = file;
        play.start = at;
        cues.push_back(play);
    }
    if (!b.open(cues)) return false;
    Stats s;
    for (int run = 0; run < runs; ++run) {
        if (buffered) {
            b.go();
            b.pump(1400); // the buffering second and its status
        }
        if (!bench::pumpUntilSilent(b.sink_, 30)) {
            ++s.missing;
            continue;
        }
        QThread::usleep(static_cast<unsigned long>((run * 1777) % 5333));
        const std::int64_t from = b.sink_.frames();
        const std::int64_t t0 = b.go();
        const std::int64_t onset = bench::soundAfter(b.sink_, from, 3000);
        if (onset < 0) {
            ++s.missing;
        } else {
            s.values.push_back((b.sink_.frameTimeNs(onset) - t0) / 1e6);
            s.dropouts += bench::dropoutAfter(b.sink_, onset);
        }
        b.stop();
    }
    b.close();
    const bool pass = s.within(target);
    bench::figure(name, s.text(), QStringLiteral("<= %1 ms").arg(target), pass);
    return pass;
}

// The chain on completion: a short sound, then on its end the next cue by itself. With
// `buffered`, a Buffer Sound cue has prepared the second sound before.
bool chainGap(Bench& b, const QString& shortFile, const QStringList& nextFiles, bool buffered,
              int runs, double target) {
    std::vector<Cue> cues;
    for (int i = 0; i < runs; ++i) {
        const QString next = nextFiles[i % nextFiles.size()];
        if (buffered) cues.push_back(prepareCue(next, 1));
        Cue first;
        first.description = QStringLiteral("First");
        first.file = shortFile;
        cues.push_back(first);
        Cue second;
        second.description = QStringLiteral("Second");
        second.file = next;
        second.channel = 1;
        second.when = 2;
        second.beginOn = 1;
        cues.push_back(second);
    }
    if (!b.open(cues)) return false;
    Stats s;
    for (int run = 0; run < runs; ++run) {
        if (buffered) {
            b.go();
            b.pump(1400);
        }
        bench::pumpUntilSilent(b.sink_, 30);
        const std::int64_t from = b.sink_.frames();
        b.go();
        const std::int64_t onset = bench::soundAfter(b.sink_, from, 3000);
        // The first sound lasts half a second (24000 frames); the first silence from near its
        // end on is the gap. A silence counts from 8 frames on: the test signal is never that
        // long near zero on both channels.
        std::int64_t gapStart = -1, gapEnd = -1;
        if (onset >= 0) {
            const std::int64_t searchFrom = onset + kRate / 2 - kRate / 200;
            b.pumpUntil([&] { return b.sink_.frames() > searchFrom + kRate; }, 4000);
            std::int64_t run = 0;
            for (std::int64_t i = searchFrom; i < b.sink_.frames(); ++i) {
                if (b.sink_.level(i) <= SinkCapture::kLoud) {
                    if (run++ == 0) gapStart = i;
                } else {
                    if (run >= 8) {
                        gapEnd = i;
                        break;
                    }
                    run = 0;
                    gapStart = -1;
                }
            }
        }
        if (gapStart < 0 || gapEnd < 0)
            ++s.missing;
        else
            s.values.push_back((gapEnd - gapStart) * 1000.0 / kRate);
        b.stop();
    }
    b.close();
    const bool pass = s.within(target);
    bench::figure(
        QStringLiteral("chain gap on completion, %1").arg(buffered ? "buffered" : "fresh"),
        s.text(), QStringLiteral("<= %1 ms").arg(target), pass);
    return pass;
}

// 16 Play Sound cues, each after the first starting along with the one before, on Auto,
// over the four channels, each with a tone of its own: the time from the GO to the onset of
// the last of the 16 tones at the sink. A tone replaced on its channel before it is heard
// counts as not sounding.
bool chainSpread(Bench& b, const QStringList& tones, const std::vector<double>& hz, int runs) {
    std::vector<Cue> cues;
    for (int i = 0; i < 16; ++i) {
        Cue c;
        c.description = QStringLiteral("Spread %1").arg(i + 1);
        c.file = tones[i];
        c.channel = i % 4;
        c.when = i == 0 ? 1 : 0;
        c.beginOn = i == 0 ? 0 : 1;
        c.count = 0;
        cues.push_back(c);
    }
    Stats s;
    std::vector<double> firsts;
    int unheard = 0;
    for (int run = 0; run < runs; ++run) {
        if (!b.open(cues)) return false;
        bench::pumpUntilSilent(b.sink_, 30);
        const std::int64_t from = b.sink_.frames();
        const std::int64_t t0 = b.go();
        b.pump(1500);
        const std::int64_t to = b.sink_.frames();
        // Each tone plays at 0.2 of full scale on its channel, until a later cue takes the
        // channel some milliseconds on; 2.5-ms windows tell the tones 1000 Hz apart.
        const double amplitude = 0.2 * 32767;
        double first = -1, last = -1;
        int heard = 0;
        for (double f : hz) {
            const std::int64_t on = bench::toneOnset(b.sink_, from, to, f, amplitude, 120);
            if (on < 0) continue;
            ++heard;
            const double ms = (b.sink_.frameTimeNs(on) - t0) / 1e6;
            first = first < 0 ? ms : std::min(first, ms);
            last = std::max(last, ms);
        }
        unheard += 16 - heard;
        if (heard == 0) {
            ++s.missing;
        } else {
            s.values.push_back(last);
            firsts.push_back(first);
        }
        b.close();
    }
    const bool pass =
        !s.values.empty() && s.missing == 0 && unheard == 0 && bench::maximum(s.values) <= 40;
    QString value = s.text();
    if (!firsts.empty())
        value += QStringLiteral("; first at %1 ms").arg(bench::median(firsts), 0, 'f', 1);
    if (unheard) value += QStringLiteral("; %1 tones never heard").arg(unheard);
    bench::figure("chain spread, 16 cues on Auto, last onset", value, "all <= 40 ms", pass);
    return pass;
}

// A fade of a playing tone from full level to silence at `speed`; the duration is read at the
// sink from the first drop of the level to the first frame of silence.
bool fadeAccuracy(Bench& b, const QString& tone, int speed, double expected, int runs) {
    std::vector<Cue> cues;
    for (int i = 0; i < runs; ++i) {
        Cue play;
        play.description = QStringLiteral("Tone");
        play.file = tone;
        play.count = 0;
        cues.push_back(play);
        Cue fade;
        fade.description = QStringLiteral("Fade out");
        fade.action = 4;
        fade.volume = -4000;
        fade.speed = speed;
        cues.push_back(fade);
    }
    if (!b.open(cues)) return false;
    Stats s;
    const int window = kRate / 100; // 10 ms
    for (int run = 0; run < runs; ++run) {
        bench::pumpUntilSilent(b.sink_, 30);
        b.go();
        b.pump(600);
        const std::int64_t before = b.sink_.frames();
        const double steady = bench::rms(b.sink_, before - kRate / 5, before);
        b.go();
        // The fade runs in the fader's ticks; wait for the silence at its end.
        const bool ended = b.pumpUntil(
            [&] {
                const std::int64_t end = b.sink_.frames();
                return end - before > kRate / 10 && b.sink_.lastSound(end - kRate / 20, end) < 0;
            },
            expected * 1000 * 2 + 2000);
        std::int64_t start = -1, silent = -1;
        if (ended && steady > 0) {
            const std::int64_t end = b.sink_.frames();
            for (std::int64_t i = before; i + window < end; i += SinkCapture::kBlock)
                if (bench::rms(b.sink_, i, i + window) < 0.97 * steady) {
                    start = i + window;
                    break;
                }
            const std::int64_t lastLoud = b.sink_.lastSound(before, end);
            silent = lastLoud < 0 ? -1 : lastLoud + 1;
        }
        if (start < 0 || silent < start)
            ++s.missing;
        else
            s.values.push_back(static_cast<double>(silent - start) / kRate);
        b.stop();
    }
    b.close();
    const bool pass =
        !s.values.empty() && s.missing == 0 &&
        std::abs(bench::maximum(s.values) - expected) <= expected * 0.05 &&
        std::abs(*std::min_element(s.values.begin(), s.values.end()) - expected) <= expected * 0.05;
    bench::figure(QStringLiteral("fade from full to silent at speed %1").arg(speed), s.text("s"),
                  QStringLiteral("%1 s +- 5 %").arg(expected), pass);
    return pass;
}

// Four channels playing and a show inside a completion wait: the CPU time of the whole
// process (less the listener's thread) over a window of some seconds, in % of one core.
bool idleCost(Bench& b, const QStringList& files, double seconds) {
    std::vector<Cue> cues;
    for (int i = 0; i < 4; ++i) {
        Cue c;
        c.description = QStringLiteral("Channel %1").arg(i + 1);
        c.file = files[i];
        c.channel = i;
        c.beginOn = i == 0 ? 0 : 1; // each after the one before has executed, on Auto
        cues.push_back(c);
    }
    Cue after;
    after.description = QStringLiteral("After the long sound");
    after.file = files[0];
    after.when = 2;
    after.beginOn = 1;
    cues.push_back(after);
    if (!b.open(cues)) return false;

    bool playing = false, meters = false;
    double cpu = -1, wall = 0;
    double cpu0 = 0;
    std::int64_t wall0 = 0;
    bool listening = true;
    QEventLoop wait;
    // The window is opened and closed by timers, which run inside the show's completion wait.
    QTimer::singleShot(1500, [&] {
        playing = true;
        for (sorvane::MediaPlayer* p : b.form().mixer().MediaPlayer1)
            playing &= p->PlayState() == 2;
        meters = b.form().mixer().tmrChannelUpdate->isActive();
        // The listener's 1-ms blocks would make the sound server wake the program's stream
        // that often; it stands aside meanwhile.
        b.sink_.stop();
        cpu0 = bench::processCpuSeconds();
        wall0 = bench::nowNs();
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
            wall = (bench::nowNs() - wall0) / 1e9;
            cpu = bench::processCpuSeconds() - cpu0;
            listening = b.sink_.start();
            for (sorvane::MediaPlayer* p : b.form().mixer().MediaPlayer1)
                playing &= p->PlayState() == 2;
            b.stop();
            wait.quit();
        });
    });
    // Nothing of the benchmark's own wakes the program meanwhile: the loop below sleeps until
    // the window closes or the time is up.
    QTimer::singleShot(static_cast<int>(seconds * 1000) + 10000, &wait, &QEventLoop::quit);
    b.go();
    if (cpu < 0) wait.exec();
    if (!listening) {
        bench::figure("idle cost, completion wait, 4 channels", "the listener did not come back",
                      "<= 3 % of a core", false);
        return false;
    }
    b.close();
    if (cpu < 0 || !playing || !meters) {
        bench::figure("idle cost, completion wait, 4 channels",
                      cpu < 0 ? QStringLiteral("the window never closed")
                              : QStringLiteral("not all four channels played with the meters on"),
                      "<= 3 % of a core", false);
        return false;
    }
    const double percent = 100 * cpu / wall;
    const bool pass = percent <= 3;
    bench::figure(
        "idle cost, completion wait, 4 channels",
        QStringLiteral("%1 % of a core over %2 s").arg(percent, 0, 'f', 2).arg(wall, 0, 'f', 1),
        "<= 3 % of a core", pass);
    return pass;
}

// The meter tick with four channels playing, called as its timer calls it.
bool meterTick(Bench& b, const QStringList& files, int ticks) {
    std::vector<Cue> cues;
    for (int i = 0; i < 4; ++i) {
        Cue c;
        c.description = QStringLiteral("Channel %1").arg(i + 1);
        c.file = files[i];
        c.channel = i;
        c.count = 0;
        c.beginOn = i == 0 ? 0 : 1;
        cues.push_back(c);
    }
    Cue rest;
    rest.description = QStringLiteral("Rest");
    cues.push_back(rest);
    if (!b.open(cues)) return false;
    b.go();
    b.pump(500);
    bool playing = true;
    for (sorvane::MediaPlayer* p : b.form().mixer().MediaPlayer1)
        playing &= p->PlayState() == 2;
    std::vector<double> ms;
    for (int i = 0; i < ticks && playing; ++i) {
        const auto start = std::chrono::steady_clock::now();
        b.form().mixer().tmrChannelUpdate_Timer();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        b.pump(5);
    }
    b.close();
    if (!playing) {
        bench::figure("meter tick, 4 channels playing", "the four channels did not play",
                      "<= 0.5 ms", false);
        return false;
    }
    const double med = bench::median(ms);
    const bool pass = med <= 0.5;
    bench::figure("meter tick, 4 channels playing",
                  QStringLiteral("median %1 ms (max %2, %3 ticks)")
                      .arg(med, 0, 'f', 3)
                      .arg(bench::maximum(ms), 0, 'f', 3)
                      .arg(ms.size()),
                  "<= 0.5 ms", pass);
    return pass;
}

// Stop pressed at a moment of its own while a show runs, `runs` times from GO on `row`. The
// press is posted from a thread of its own, as the window system posts the operator's click,
// so it waits for the program's event loop as a click would. The latency runs from the press
// to the later of the Stop having run and the last sound at the sink; a cue that starts
// after the Stop is a miss. With `drawer`, the status history is open meanwhile.
bool stopLatency(Bench& b, const QString& name, const std::vector<Cue>& cues, int row, int fromMs,
                 int toMs, int runs, bool drawer = false) {
    if (!b.open(cues)) return false;
    sorvane::StatusLine& status = b.form().status();
    if (drawer) status.Command2_Click();
    QPushButton* stop = b.form().frame().cmdStop;
    Stats s;
    int ranOn = 0;
    double longestGap = 0;
    for (int run = 0; run < runs; ++run) {
        bench::pumpUntilSilent(b.sink_, 30);
        std::int64_t handled = -1;
        qsizetype seen = 0;
        const auto conn = QObject::connect(stop, &QPushButton::clicked, [&] {
            handled = bench::nowNs();
            seen = status.history().size();
        });
        // The window's answer meanwhile: the longest gap between the ticks of a 5-ms timer.
        std::int64_t beat = bench::nowNs();
        QTimer heart;
        heart.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heart, &QTimer::timeout, [&] {
            const std::int64_t now = bench::nowNs();
            longestGap = std::max(longestGap, (now - beat) / 1e6);

            beat = now;
        });
        heart.start(5);
        b.form().cues().SelectRow(row);
        const std::int64_t go = b.go();
        std::atomic<std::int64_t> pressed{-1};
        const int after = fromMs + (run * 7919) % std::max(1, toMs - fromMs);
        std::thread presser([&] {
            std::this_thread::sleep_for(
                std::chrono::nanoseconds(go + after * 1000000LL - bench::nowNs()));
            pressed = bench::nowNs();
            QMetaObject::invokeMethod(
                stop, [stop] { stop->click(); }, Qt::QueuedConnection);
        });
        b.pumpUntil([&] { return handled >= 0; }, toMs + 30000);
        presser.join();
        heart.stop();
        b.pump(1500); // a cue that starts after all, the sound that goes on
        QObject::disconnect(conn);
        const auto history = status.history();
        bool started = false;
        for (qsizetype i = std::min(seen, history.size()); i < history.size(); ++i)
            started |= history[i].text.startsWith(QStringLiteral("Executing Cue "));
        const std::int64_t from = b.sink_.firstFrameAfter(pressed);
        const std::int64_t last = from < 0 ? -1 : b.sink_.lastSound(from, b.sink_.frames());
        const std::int64_t end = std::max(handled, last < 0 ? handled : b.sink_.frameTimeNs(last));
        if (std::getenv("SORVANE_BENCH_VERBOSE"))
            std::fprintf(stderr, "  Stop handled after %.2f ms, last sound %.2f ms\n",
                         (handled - pressed) / 1e6,
                         last < 0 ? -1.0 : (b.sink_.frameTimeNs(last) - pressed) / 1e6);
        if (handled < 0 || started) {
            ++s.missing;
            ranOn += started;
        } else {
            s.values.push_back((end - pressed) / 1e6);
        }
    }
    b.close();
    const bool pass = s.within(100) && bench::maximum(s.values) <= 100;
    QString value = s.text();
    if (ranOn) value += QStringLiteral(", %1 with a cue started after the Stop").arg(ranOn);
    value += QStringLiteral("; window answered within %1 ms").arg(longestGap, 0, 'f', 1);
    bench::figure(QStringLiteral("Stop latency, ") + name, value, "all <= 100 ms", pass);
    return pass;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    const bool quick = bench::quickMode(argc, argv);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // The program's settings stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());

    bench::SoundServer server;
    if (!server.start()) {
        bench::figure("show playback", "no sound server: " + server.error(), "-", false);
        return 1;
    }
    bench::SinkCapture sink(server);
    if (!sink.start()) {
        bench::figure("show playback", "no listener: " + sink.error(), "-", false);
        return 1;
    }

    // Media: five-minute WAV and MP3 files, a short sound, tones for the spread and the fades.
    const double longSeconds = quick ? 20 : 300;
    auto path = [&](const QString& name) { return dir.filePath(name); };
    std::vector<QProcess*> making = {
        bench::startMaking(path("a.wav"), longSeconds, bench::kWav, 48000),
        bench::startMaking(path("b.wav"), longSeconds, bench::kWav, 48000),
        bench::startMaking(path("a.mp3"), longSeconds, bench::kMp3, 44100),
        bench::startMaking(path("b.mp3"), longSeconds, bench::kMp3, 44100),
        bench::startMaking(path("short.wav"), 0.5, bench::kWav, 48000)};
    bool made = true;
    for (QProcess* p : making)
        made &= bench::finish(p);
    std::vector<double> hz;
    QStringList tones;
    for (int i = 0; i < 16; ++i) {
        hz.push_back(500 + 1000 * i);
        tones << path(QStringLiteral("tone%1.wav").arg(i));
        made &= makeTone(tones.back(), hz.back(), quick ? 5 : 30);
    }
    made &= makeTone(path("fade.wav"), 700, 30);
    for (int i = 0; i < 4; ++i)
        made &= makeTone(path(QStringLiteral("idle%1.wav").arg(i)), 300 + 200 * i, 90, 0.1);
    if (!made) return 2;

    sorvane::AudioEngine engine; // as the program opens it
    if (!engine.outputName().startsWith(QLatin1String("pulse"))) {
        bench::figure("show playback", "SDL plays through " + engine.outputName(), "-", false);
        return 1;
    }
    Bench b(sink, engine, dir.path(), quick);
    const int runs = quick ? 3 : 15;
    // "--only PATTERN" runs the figures whose name the regular expression PATTERN matches.
    QRegularExpression only;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--only") == 0) only.setPattern(QString::fromUtf8(argv[i + 1]));
    auto want = [&](const QString& name) {
        return only.pattern().isEmpty() || only.match(name).hasMatch();
    };
    bool pass = true;
    const QStringList wavs = {path("a.wav"), path("b.wav")}, mp3s = {path("a.mp3"), path("b.mp3")};
    const double at70 = 0.7 * longSeconds;
    const struct {
        const char* name;
        const QStringList& files;
        double at;
        bool buffered;
        double target;
    } latencies[] = {{"GO latency, fresh WAV at 0 %", wavs, 0, false, 7},
                     {"GO latency, fresh WAV at 70 %", wavs, at70, false, 7},
                     {"GO latency, fresh MP3 at 0 %", mp3s, 0, false, 7},
                     {"GO latency, fresh MP3 at 70 %", mp3s, at70, false, 7},
                     {"GO latency, buffered WAV", wavs, 0, true, 5},
                     {"GO latency, buffered MP3", mp3s, 0, true, 5}};
    for (const auto& l : latencies)
        if (want(l.name)) pass &= goLatency(b, l.name, l.files, l.at, l.buffered, runs, l.target);
    // Again with one busy process per core: GO within 10 ms fresh, 8 ms buffered.
    if (want("GO latency, loaded")) {
        bench::BusyLoad busy(true);
        for (const auto& l : latencies)
            pass &= goLatency(b, QStringLiteral("%1, loaded").arg(QLatin1String(l.name)), l.files,
                              l.at, l.buffered, runs, l.buffered ? 8 : 10);
    }
    if (want("chain gap on completion, fresh"))
        pass &= chainGap(b, path("short.wav"), wavs, false, runs, 15);
    if (want("chain gap on completion, buffered"))
        pass &= chainGap(b, path("short.wav"), wavs, true, runs, 8);
    if (want("chain spread")) pass &= chainSpread(b, tones, hz, quick ? 2 : 7);
    if (want("fade from full to silent at speed 9"))
        pass &= fadeAccuracy(b, path("fade.wav"), 9, 1.1, quick ? 1 : 5);
    if (want("fade from full to silent at speed 5"))
        pass &= fadeAccuracy(b, path("fade.wav"), 5, 5.1, quick ? 1 : 3);
    const QStringList idle = {path("idle0.wav"), path("idle1.wav"), path("idle2.wav"),
                              path("idle3.wav")};
    if (want("idle cost")) pass &= idleCost(b, idle, quick ? 3 : 10);
    if (want("meter tick")) pass &= meterTick(b, idle, quick ? 40 : 200);
    // Stop in long chains and in a runaway: 1,000 Play Sound cues, each on Auto after the one
    // before has executed; 10,000 Delay cues, each on Auto along with the one before; and
    // Trigger cues on Auto that start each other, doubling their cues at every round.
    const int stops = quick ? 2 : 10;
    std::vector<Cue> plays(1000), delays(quick ? 1000 : 10000), triggers(4);
    for (std::size_t i = 0; i < plays.size(); ++i) {
        plays[i].description = QStringLiteral("Play %1").arg(i + 1);
        plays[i].file = idle[static_cast<int>(i % 4)];
        plays[i].channel = static_cast<int>(i % 4);
        plays[i].beginOn = i == 0 ? 0 : 1;
    }
    for (std::size_t i = 0; i < delays.size(); ++i) {
        delays[i].description = QStringLiteral("Delay %1").arg(i + 1);
        delays[i].action = 8;
        delays[i].value = 5;
        delays[i].when = i == 0 ? 1 : 0;
        delays[i].beginOn = i == 0 ? 0 : 1;
    }
    for (int i = 1; i < 4; ++i) {
        triggers[i].description = QStringLiteral("Trigger %1").arg(i);
        triggers[i].action = 5;
        triggers[i].value = i == 1 ? 3 : 2;
        triggers[i].beginOn = 1;
    }
    triggers[0] = delays[0];
    if (want("Stop latency, 1,000 Play cues"))
        pass &= stopLatency(b, "1,000 Play cues after the one before executes", plays, 1, 150, 700,
                            stops);
    if (want("Stop latency, 10,000 Delay cues"))
        pass &= stopLatency(b, "10,000 Delay cues along with the one before", delays, 1, 150, 700,
                            stops);
    if (want("Stop latency, runaway Trigger cues"))
        pass &= stopLatency(b, "runaway Trigger cues", triggers, 2, 1000, 3000, stops);
    if (want("Stop latency, runaway Trigger cues, history open"))
        pass &= stopLatency(b, "runaway Trigger cues, history open", triggers, 2, 1000, 3000, stops,
                            true);
    sink.stop();
    server.stop();
    return pass ? 0 : 1;
}
