// The engine's output at a real sound server, on an idle machine and with every core busy:
// dropouts in 120 s of four channels, the time from a Play to the first sound at the sink
// (fresh and buffered, each trial also checked for dropouts), and the CPU a loaded show with
// nothing playing costs the program and the sound server. Each figure stands beside
// references measured in the same run: paplay with its default (large) buffer, which must
// not drop out (else the rig itself is unsound), and the program's previous output, SDL's
// pulseaudio driver at a 128-frame period.
//
// Every client plays to a sink of its own in one private PulseAudio daemon, so that they can
// play at once and each is heard alone. Options to try other outputs as "program":
// --queue MS, --ahead MS, --no-rt, --no-start-in-queue, --sdl PERIOD; --only idle|loaded.

#include "PlaybackBench.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <memory>

namespace {

using bench::SinkCapture;
using sorvane::AudioEngine;
using sorvane::MediaPlayer;
constexpr int kRate = SinkCapture::kRate;

// Silences of a dropout's length inside [onset, end), and their total length in frames.
int countDropouts(const SinkCapture& sink, std::int64_t onset, std::int64_t end,
                  std::int64_t* silent = nullptr) {
    int gaps = 0;
    std::int64_t run = 0, total = 0;
    for (std::int64_t i = onset; i < std::min(end, sink.frames()); ++i) {
        if (sink.level(i) <= SinkCapture::kLoud) {
            if (++run == bench::kDropoutFrames) {
                if (std::getenv("SORVANE_BENCH_VERBOSE"))
                    std::fprintf(stderr, "  dropout at %.3f s\n",
                                 static_cast<double>(i - run - onset) / kRate);
                ++gaps;
                total += run;
            } else if (run > bench::kDropoutFrames) {
                ++total;
            }
        } else {
            run = 0;
        }
    }
    if (silent) *silent = total;
    return gaps;
}

// The engine played to `sink` of the private server.
std::unique_ptr<AudioEngine> engineAt(const AudioEngine::Options& options, const char* sink) {
    qputenv("PULSE_SINK", sink);
    auto engine = std::make_unique<AudioEngine>(options);
    qunsetenv("PULSE_SINK");
    return engine;
}

QString describe(const AudioEngine& e) {
    if (e.outputName() == QLatin1String("pulse"))
        return QStringLiteral("%1 stream, %2, %3")
            .arg(e.serverName(),
                 e.startsInQueue() ? QStringLiteral("new sounds start in the queue")
                                   : QStringLiteral("new sounds wait behind the queue"),
                 e.realtimeOutput() ? QStringLiteral("real-time thread")
                                    : QStringLiteral("ordinary thread"));
    return QStringLiteral("SDL %1, period %2").arg(e.outputName()).arg(e.periodFrames());
}

struct Rig {
    bench::SoundServer& server;
    std::vector<std::unique_ptr<SinkCapture>> sinks; // bench (program), ref, paplay, paplay100
    AudioEngine::Options program;
    AudioEngine::Options reference;
    QString wav;
    bool quick = false;

    SinkCapture& sink(int i) { return *sinks[i]; }
    void stopListening() {
        for (auto& s : sinks)
            s->stop();
    }
    bool listen() {
        bool ok = true;
        for (auto& s : sinks)
            ok &= s->start();
        return ok;
    }
};

// Four channels of the long WAV, 7 s apart, playing.
std::vector<std::unique_ptr<MediaPlayer>> fourChannels(AudioEngine& engine, const QString& wav,
                                                       bool play) {
    std::vector<std::unique_ptr<MediaPlayer>> players;
    for (int i = 0; i < 4; ++i) {
        players.push_back(std::make_unique<MediaPlayer>(engine));
        players.back()->setFileName(wav);
        players.back()->setCurrentPosition(i * 7.0);
        if (play) players.back()->Play();
    }
    return players;
}

bool dropouts(Rig& rig, const QString& load) {
    const double seconds = rig.quick ? 10 : 120;
    auto program = engineAt(rig.program, "bench");
    auto reference = engineAt(rig.reference, "ref");
    constexpr int kClients = 4;
    std::int64_t from[kClients];
    for (int i = 0; i < kClients; ++i) {
        bench::pumpUntilSilent(rig.sink(i), 30);
        from[i] = rig.sink(i).frames();
    }
    auto a = fourChannels(*program, rig.wav, true);
    auto b = fourChannels(*reference, rig.wav, true);
    // paplay as it comes (a 2-s buffer), and with 100 ms.
    QProcess paplay, paplay100;
    paplay.start(QStringLiteral("paplay"), {QStringLiteral("--device=paplay"), rig.wav});
    paplay100.start(QStringLiteral("paplay"), {QStringLiteral("--device=paplay100"),
                                               QStringLiteral("--latency-msec=100"), rig.wav});
    std::int64_t onset[kClients], end[kClients];
    for (int i = 0; i < kClients; ++i) {
        onset[i] = bench::soundAfter(rig.sink(i), from[i], 3000);
        end[i] = onset[i] + static_cast<std::int64_t>(seconds * kRate);
    }
    for (int i = 0; i < kClients; ++i)
        bench::pumpUntil([&] { return rig.sink(i).frames() >= end[i]; }, seconds * 1000 + 5000);
    for (QProcess* p : {&paplay, &paplay100}) {
        p->kill();
        p->waitForFinished(3000);
    }
    if (std::getenv("SORVANE_BENCH_VERBOSE"))
        std::fprintf(stderr, "  program's stream ran empty %d times\n", program->outputUnderruns());
    const QString names[kClients] = {
        QStringLiteral("program"), QStringLiteral("reference: SDL, 128"),
        QStringLiteral("reference: paplay"), QStringLiteral("reference: paplay 100 ms")};
    bool pass = true;
    for (int i = 0; i < kClients; ++i) {
        std::int64_t silent = 0;
        const int gaps = onset[i] < 0 ? -1 : countDropouts(rig.sink(i), onset[i], end[i], &silent);
        const bool ok = gaps == 0;
        const bool scale = i == 1 || i == 3;
        if (!scale) pass &= ok;
        bench::figure(
            QStringLiteral("dropouts, 4 channels %1 s, %2: %3").arg(seconds).arg(load, names[i]),
            gaps < 0 ? QStringLiteral("no sound")
                     : QStringLiteral("%1 (%2 ms silent)")
                           .arg(gaps)
                           .arg(silent * 1000.0 / kRate, 0, 'f', 1),
            scale ? QStringLiteral("for scale") : QStringLiteral("0"), scale ? gaps >= 0 : ok);
    }
    return pass;
}

struct Trials {
    std::vector<double> ms;
    int lost = 0, dropouts = 0;
    QString text() const {
        if (ms.empty()) return QStringLiteral("no sound in %1 runs").arg(lost);
        QString t = QStringLiteral("median %1 ms (max %2, %3 runs")
                        .arg(bench::median(ms), 0, 'f', 2)
                        .arg(bench::maximum(ms), 0, 'f', 2)
                        .arg(ms.size() + lost);
        if (lost) t += QStringLiteral(", %1 silent").arg(lost);
        t += QStringLiteral(", %1 with dropouts)").arg(dropouts);
        return t;
    }
    bool pass(double target) const {
        return lost == 0 && dropouts == 0 && !ms.empty() && bench::median(ms) <= target;
    }
};

// From `go` (which may load the file, then plays) to the first sound at the sink.
template <typename Go> void trial(const SinkCapture& sink, int run, Trials& t, Go go) {
    if (!bench::pumpUntilSilent(sink, 30)) {
        ++t.lost;
        return;
    }
    // Spread the moments of the Play over the output's periods.
    QThread::usleep(static_cast<unsigned long>((run * 1777) % 10007));
    const std::int64_t from = sink.frames();
    const std::int64_t t0 = bench::nowNs();
    go();
    const std::int64_t onset = bench::soundAfter(sink, from, 2000);
    if (onset < 0) {
        ++t.lost;
        return;
    }
    t.ms.push_back((sink.frameTimeNs(onset) - t0) / 1e6);
    t.dropouts += bench::dropoutAfter(sink, onset);
}

bool latencies(Rig& rig, const QString& load) {
    const int runs = rig.quick ? 5 : 15;
    auto program = engineAt(rig.program, "bench");
    auto reference = engineAt(rig.reference, "ref");
    AudioEngine* engines[2] = {program.get(), reference.get()};
    Trials fresh[2], buffered[2];
    for (int run = 0; run < runs; ++run)
        for (int e = 0; e < 2; ++e) {
            MediaPlayer player(*engines[e]);
            trial(rig.sink(e), run, fresh[e], [&] {
                player.setFileName(rig.wav); // a fresh load, as a Play Sound cue makes it
                player.Play();
            });
            player.Stop();
        }
    for (int e = 0; e < 2; ++e) {
        MediaPlayer player(*engines[e]);
        player.setFileName(rig.wav);
        for (int run = 0; run < runs; ++run) {
            trial(rig.sink(e), run, buffered[e], [&] {
                player.setCurrentPosition(0);
                player.Play();
            });
            player.Pause();
        }
    }
    const bool pass = fresh[0].pass(10) && buffered[0].pass(8);
    bench::figure(QStringLiteral("play to sink, fresh, %1: program").arg(load), fresh[0].text(),
                  "<= 10 ms, 0", fresh[0].pass(10));
    bench::figure(QStringLiteral("play to sink, fresh, %1: reference SDL 128").arg(load),
                  fresh[1].text(), "for scale", !fresh[1].ms.empty());
    bench::figure(QStringLiteral("play to sink, buffered, %1: program").arg(load),
                  buffered[0].text(), "<= 8 ms, 0", buffered[0].pass(8));
    bench::figure(QStringLiteral("play to sink, buffered, %1: reference SDL 128").arg(load),
                  buffered[1].text(), "for scale", !buffered[1].ms.empty());
    return pass;
}

struct Cost {
    double self = -1, server = -1; // % of a core
};

// The CPU of this process and of the server over `seconds` while `hold` exists.
Cost cost(Rig& rig, double seconds) {
    bench::pump(300);
    const double server0 = bench::processCpuSeconds(rig.server.pid());
    Cost c;
    double wall = seconds;
    c.self = bench::idleCpuPercent(wall);
    c.server = 100 * (bench::processCpuSeconds(rig.server.pid()) - server0) / wall;
    return c;
}

QString percent(double p) {
    return QStringLiteral("%1 % of a core").arg(p, 0, 'f', 2);
}

bool cpu(Rig& rig, const QString& load) {
    const double seconds = rig.quick ? 3 : 10;
    // The listeners ask the sinks for 1-ms blocks, which would wake every stream that often;
    // they stand aside meanwhile.
    rig.stopListening();
    Cost program, reference;
    {
        auto engine = engineAt(rig.program, "bench");
        auto players = fourChannels(*engine, rig.wav, false); // a loaded show, nothing playing
        program = cost(rig, seconds);
    }
    {
        auto engine = engineAt(rig.reference, "ref");
        auto players = fourChannels(*engine, rig.wav, false);
        reference = cost(rig, seconds);
    }
    // paplay as it comes (a 2-s buffer), and with the buffer of a desktop media player's
    // stream (GStreamer's defaults: 200 ms, topped up every 10 ms).
    auto paplayCost = [&](const QStringList& extra) {
        QProcess paplay;
        paplay.start(QStringLiteral("paplay"),
                     QStringList{QStringLiteral("--device=paplay")} + extra + QStringList{rig.wav});
        paplay.waitForStarted(5000);
        const double own0 = bench::processCpuSeconds(paplay.processId());
        Cost c = cost(rig, seconds);
        // paplay's own CPU stands where the program's does.
        c.self = 100 * (bench::processCpuSeconds(paplay.processId()) - own0) / seconds;
        paplay.kill();
        paplay.waitForFinished(3000);
        return c;
    };
    const Cost paplayDefault = paplayCost({});
    const Cost paplayPeer = paplayCost(
        {QStringLiteral("--latency-msec=200"), QStringLiteral("--process-time-msec=10")});
    const bool listening = rig.listen();
    const bool selfOk = program.self >= 0 && program.self <= 1;
    // The server's figures move by a few tenths between windows of the same client.
    const double serverTarget = paplayPeer.server + 0.3;
    const bool serverOk = program.server >= 0 && program.server <= serverTarget;
    bench::figure(QStringLiteral("idle show cpu, %1: program").arg(load), percent(program.self),
                  "<= 1 %", selfOk);
    bench::figure(QStringLiteral("idle show cpu, %1: reference SDL 128").arg(load),
                  percent(reference.self), "for scale", reference.self >= 0);
    bench::figure(QStringLiteral("server cpu, idle show, %1: program").arg(load),
                  percent(program.server), QStringLiteral("<= %1 %").arg(serverTarget, 0, 'f', 2),
                  serverOk);
    bench::figure(QStringLiteral("server cpu, idle show, %1: reference SDL 128").arg(load),
                  percent(reference.server), "for scale", reference.server >= 0);
    bench::figure(QStringLiteral("server cpu, %1: reference paplay 200/10 ms playing").arg(load),
                  percent(paplayPeer.server), "for scale", paplayPeer.server >= 0);
    bench::figure(QStringLiteral("server cpu, %1: reference paplay 2 s playing").arg(load),
                  percent(paplayDefault.server), "for scale", paplayDefault.server >= 0);
    return selfOk && serverOk && listening;
}

double loadAverage() {
    double l[3] = {};
    return getloadavg(l, 3) > 0 ? l[0] : -1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    QApplication app(argc, argv);

    bench::SoundServer server;
    Rig rig{server, {}, {}, {}, {}, bench::quickMode(argc, argv)};
    rig.reference.pulseStream = false;
    rig.reference.periodFrames = 128;
    QString only;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--queue" && more) rig.program.pulseQueueMs = std::atoi(argv[++i]);
        if (a == "--ahead" && more) rig.program.pulseStartAheadMs = std::atoi(argv[++i]);
        if (a == "--no-rt") rig.program.realtimeThread = false;
        if (a == "--no-start-in-queue") rig.program.pulseStartInQueue = false;
        if (a == "--sdl" && more) {
            rig.program.pulseStream = false;
            rig.program.periodFrames = std::atoi(argv[++i]);
        }
        if (a == "--only" && more) only = QString::fromUtf8(argv[++i]);
    }

    if (!server.start(kRate, {QStringLiteral("ref"), QStringLiteral("paplay"),
                              QStringLiteral("paplay100")})) {
        bench::figure("output", "no sound server: " + server.error(), "-", false);
        return 1;
    }
    for (const char* name : {"bench", "ref", "paplay", "paplay100"}) {
        rig.sinks.push_back(std::make_unique<SinkCapture>(server, QString::fromUtf8(name)));
        if (!rig.sinks.back()->start()) {
            bench::figure("output", "no listener: " + rig.sinks.back()->error(), "-", false);
            return 1;
        }
    }
    const double spacing = rig.sink(0).blockSpacingMs();
    bool pass = spacing > 0 && spacing <= 1.5;
    bench::figure("rig: monitor block spacing",
                  QStringLiteral("median %1 ms").arg(spacing, 0, 'f', 3), "<= 1.5 ms", pass);

    QTemporaryDir dir;
    rig.wav = dir.filePath("long.wav");
    if (!bench::make(rig.wav, rig.quick ? 40 : 180, bench::kWav, kRate)) return 2;
    {
        auto engine = engineAt(rig.program, "bench");
        auto reference = engineAt(rig.reference, "ref");
        bench::figure("program output", describe(*engine), "-", true);
        bench::figure("reference output", describe(*reference), "-", true);
    }

    for (const bool loaded : {false, true}) {
        const QString load = loaded ? QStringLiteral("loaded") : QStringLiteral("idle");
        if (!only.isEmpty() && only != load) continue;
        bench::BusyLoad busy(loaded);
        bench::pump(500);
        bench::figure(QStringLiteral("machine, %1").arg(load),
                      QStringLiteral("load average %1, %2 busy processes")
                          .arg(loadAverage(), 0, 'f', 1)
                          .arg(loaded ? QThread::idealThreadCount() : 0),
                      "-", true);
        pass &= dropouts(rig, load);
        pass &= latencies(rig, load);
        pass &= cpu(rig, load);
    }
    rig.stopListening();
    server.stop();
    return pass ? 0 : 1;
}
