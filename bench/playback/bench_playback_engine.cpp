// GO latency at a real sound server, on the engine alone: MediaPlayer::Play on a player of
// the program's sound engine, playing through SDL's pulseaudio driver into a private
// PulseAudio daemon, timed to the first sound frame that leaves the daemon's sink. Run for
// several device periods, so the period the program opens its device with can be chosen
// by measurement.

#include "PlaybackBench.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <SDL2/SDL.h>
#include <cmath>
#include <memory>

namespace {

struct Trial {
    double ms = -1;       // latency; -1 when no sound came
    bool dropout = false; // a silence inside the first 300 ms of sound
};

// Plays with `go` and times the first frame of sound at the sink.
template <typename Go> Trial measure(const bench::SinkCapture& sink, int run, Go go) {
    Trial t;
    if (!bench::pumpUntilSilent(sink, 30)) return t;
    // Spread the moments of the GO over the device's period.
    QThread::usleep(static_cast<unsigned long>((run * 1777) % 5333));
    const std::int64_t from = sink.frames();
    const std::int64_t t0 = bench::nowNs();
    go();
    const std::int64_t onset = bench::soundAfter(sink, from, 2000);
    if (onset < 0) return t;
    t.ms = (sink.frameTimeNs(onset) - t0) / 1e6;
    t.dropout = bench::dropoutAfter(sink, onset);
    return t;
}

bool report(const QString& name, const std::vector<Trial>& trials, double target) {
    std::vector<double> ms;
    int lost = 0, dropouts = 0;
    for (const Trial& t : trials) {
        if (t.ms < 0)
            ++lost;
        else
            ms.push_back(t.ms);
        dropouts += t.dropout;
    }
    const double med = bench::median(ms);
    const bool pass = lost == 0 && dropouts == 0 && !ms.empty() && med <= target;
    QString value = QStringLiteral("median %1 ms (max %2, %3 runs)")
                        .arg(med, 0, 'f', 2)
                        .arg(bench::maximum(ms), 0, 'f', 2)
                        .arg(trials.size());
    if (lost) value += QStringLiteral(", %1 silent").arg(lost);
    if (dropouts) value += QStringLiteral(", %1 dropouts").arg(dropouts);
    if (ms.empty()) value = QStringLiteral("no sound in %1 runs").arg(trials.size());
    bench::figure(name, value, QStringLiteral("<= %1 ms").arg(target), pass);
    return pass;
}

// Silences of a dropout's length inside [onset, end).
int countDropouts(const bench::SinkCapture& sink, std::int64_t onset, std::int64_t end) {
    int gaps = 0;
    std::int64_t run = 0;
    for (std::int64_t i = onset; i < std::min(end, sink.frames()); ++i) {
        if (sink.level(i) <= bench::SinkCapture::kLoud) {
            if (++run == bench::kDropoutFrames) ++gaps;
        } else {
            run = 0;
        }
    }
    return gaps;
}

void toneCallback(void* phase, Uint8* stream, int len) {
    auto* out = reinterpret_cast<float*>(stream);
    double& p = *static_cast<double*>(phase);
    for (int i = 0; i < len / 8; ++i) {
        out[2 * i] = static_cast<float>(0.3 * std::sin(p));
        out[2 * i + 1] = static_cast<float>(0.3 * std::cos(p));
        p += 2 * M_PI * 440 / 48000;
    }
}

// Runs `measure` with a bare SDL stream of a steady tone open (paused) at `period`; returns
// `failed` when no stream opens.
template <typename Measure>
auto withBareTone(int period, decltype(std::declval<Measure>()(0)) failed, Measure measure) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return failed;
    double phase = 0;
    SDL_AudioSpec want{}, have{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(period);
    want.callback = toneCallback;
    want.userdata = &phase;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    auto result = failed;
    if (device) {
        result = measure(device);
        SDL_CloseAudioDevice(device);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return result;
}

// Plays a steady tone through SDL alone for `seconds` and counts its dropouts; -1 without sound.
int bareToneDropouts(const bench::SinkCapture& sink, int period, double seconds) {
    return withBareTone(period, -1, [&](SDL_AudioDeviceID device) {
        bench::pumpUntilSilent(sink, 30);
        const std::int64_t from = sink.frames();
        SDL_PauseAudioDevice(device, 0);
        const std::int64_t onset = bench::soundAfter(sink, from, 2000);
        if (onset < 0) return -1;
        const std::int64_t end = onset + static_cast<std::int64_t>(seconds * 48000);
        bench::pumpUntil([&] { return sink.frames() >= end; }, seconds * 1000 + 2000);
        return countDropouts(sink, onset, end);
    });
}

// The CPU time a bare SDL stream of a steady tone costs the process, in % of one core, over
// `seconds` with the listener standing aside: the floor under the program's idle cost at
// that period on this machine. -1 when no stream opens.
double bareToneCpu(bench::SinkCapture& sink, int period, double seconds) {
    return withBareTone(period, -1.0, [&](SDL_AudioDeviceID device) {
        SDL_PauseAudioDevice(device, 0);
        bench::pump(300);
        sink.stop();
        const double percent = bench::idleCpuPercent(seconds);
        sink.start();
        return percent;
    });
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    const bool quick = bench::quickMode(argc, argv);
    QApplication app(argc, argv);

    bench::SoundServer server;
    if (!server.start()) {
        bench::figure("engine play latency", "no sound server: " + server.error(), "<= 7 ms",
                      false);
        return 1;
    }
    bench::SinkCapture sink(server);
    if (!sink.start()) {
        bench::figure("engine play latency", "no listener: " + sink.error(), "<= 7 ms", false);
        return 1;
    }
    const double spacing = sink.blockSpacingMs();
    bench::figure("rig: monitor block spacing",
                  QStringLiteral("median %1 ms").arg(spacing, 0, 'f', 3), "<= 1.5 ms",
                  spacing > 0 && spacing <= 1.5);

    // For scale: a bare SDL stream of a steady tone through the same server, at the period
    // the program opens; its dropouts are the machine's, not the engine's.
    {
        const double seconds = quick ? 3 : 20;
        const int period = sorvane::AudioEngine::Options{}.periodFrames;
        const int gaps = bareToneDropouts(sink, period, seconds);
        bench::figure(QStringLiteral("reference: bare SDL tone, period %1, dropouts").arg(period),
                      gaps < 0 ? QStringLiteral("no sound")
                               : QStringLiteral("%1 in %2 s").arg(gaps).arg(seconds),
                      "0", gaps == 0);
        const double cpu = bareToneCpu(sink, period, quick ? 3 : 10);
        bench::figure(QStringLiteral("reference: bare SDL tone, period %1, cpu").arg(period),
                      cpu < 0 ? QStringLiteral("no sound")
                              : QStringLiteral("%1 % of a core").arg(cpu, 0, 'f', 2),
                      "for scale", cpu >= 0);
    }

    QTemporaryDir dir;
    const double seconds = quick ? 20 : 300;
    const QString wav = dir.filePath("five.wav"), mp3 = dir.filePath("five.mp3");
    QProcess* a = bench::startMaking(wav, seconds, bench::kWav, 48000);
    QProcess* b = bench::startMaking(mp3, seconds, bench::kMp3, 44100);
    if (!bench::finish(a) || !bench::finish(b)) return 2;

    const int runs = quick ? 5 : 21;
    // Period 0 is the device as the program opens it; the others show what each period
    // gives, so the program's choice can be checked against them.
    std::vector<int> periods = {0, 64, 128, 256};
    if (const char* p = std::getenv("SORVANE_BENCH_PERIODS")) {
        periods.clear();
        for (const QString& s : QString::fromUtf8(p).split(',', Qt::SkipEmptyParts))
            periods.push_back(s.toInt());
    } else if (quick) {
        periods = {0};
    }
    const bool spacingOk = spacing > 0 && spacing <= 1.5;
    bool allPass = spacingOk;
    for (int period : periods) {
        // Period 0: the engine as the program opens it.
        std::unique_ptr<sorvane::AudioEngine> engine;
        if (period > 0) {
            sorvane::AudioEngine::Options options;
            options.periodFrames = period;
            engine = std::make_unique<sorvane::AudioEngine>(options);
        } else {
            engine = std::make_unique<sorvane::AudioEngine>();
        }
        if (!engine->outputName().startsWith(QLatin1String("pulse"))) {
            bench::figure("engine play latency", "SDL plays through " + engine->outputName(),
                          "<= 7 ms", false);
            return 1;
        }
        const QString tag =
            period > 0 ? QStringLiteral("period %1").arg(engine->periodFrames())
                       : QStringLiteral("as opened (period %1)").arg(engine->periodFrames());
        const struct {
            const char* name;
            QString file;
        } files[] = {{"WAV", wav}, {"MP3", mp3}};
        for (const auto& f : files) {
            for (double at : {0.0, 0.7}) {
                std::vector<Trial> trials;
                for (int run = 0; run < runs; ++run) {
                    sorvane::MediaPlayer player(*engine);
                    player.setFileName(f.file); // a fresh load, as a Play Sound cue makes it
                    if (player.FileName().isEmpty()) return 2;
                    player.setCurrentPosition(at * player.SelectionEnd());
                    trials.push_back(measure(sink, run, [&] { player.Play(); }));
                    player.Stop();
                }
                allPass &= report(QStringLiteral("engine play latency, %1, fresh %2 at %3 %")
                                      .arg(tag, f.name)
                                      .arg(at * 100),
                                  trials, 7.0);
            }
        }
        // Steady playing: silences inside a long sound are dropouts a listener hears.
        {
            sorvane::MediaPlayer player(*engine);
            player.setFileName(wav);
            bench::pumpUntilSilent(sink, 30);
            const std::int64_t from = sink.frames();
            player.Play();
            const std::int64_t onset = bench::soundAfter(sink, from, 2000);
            const double seconds = quick ? 3 : 20;
            int gaps = 0;
            if (onset >= 0) {
                const std::int64_t end = onset + static_cast<std::int64_t>(seconds * 48000);
                bench::pumpUntil([&] { return sink.frames() >= end; }, seconds * 1000 + 2000);
                gaps = countDropouts(sink, onset, end);
            }
            player.Stop();
            const bool pass = onset >= 0 && gaps == 0;
            allPass &= pass;
            bench::figure(QStringLiteral("dropouts in steady play, %1").arg(tag),
                          onset < 0 ? QStringLiteral("no sound")
                                    : QStringLiteral("%1 in %2 s").arg(gaps).arg(seconds),
                          "0", pass);
        }
        // The cost of playing: four channels of the WAV, the process's CPU time (less the
        // listener's) over some seconds, with the events running as the program's would.
        {
            std::vector<std::unique_ptr<sorvane::MediaPlayer>> players;
            for (int i = 0; i < 4; ++i) {
                players.push_back(std::make_unique<sorvane::MediaPlayer>(*engine));
                players.back()->setFileName(wav);
                players.back()->setCurrentPosition(i * 7.0);
                players.back()->Play();
            }
            bench::pump(300);
            // The listener asks the sink for 1-ms blocks, which would make the sound server
            // wake the program's stream that often; it stands aside meanwhile.
            sink.stop();
            double wall = quick ? 3 : 10;
            const double percent = bench::idleCpuPercent(wall);
            if (!sink.start()) {
                bench::figure("engine play latency", "no listener: " + sink.error(), "<= 7 ms",
                              false);
                return 1;
            }
            bool playing = true;
            for (const auto& p : players)
                playing &= p->PlayState() == 2;
            bench::figure(QStringLiteral("cpu of 4 channels playing, %1").arg(tag),
                          playing ? QStringLiteral("%1 % of a core over %2 s")
                                        .arg(percent, 0, 'f', 2)
                                        .arg(wall, 0, 'f', 1)
                                  : QStringLiteral("the four channels did not play on"),
                          "<= 3 % of a core", playing && percent <= 3);
            for (const auto& p : players)
                p->Stop();
        }
        // Played before on that channel: the same file again from its start.
        {
            std::vector<Trial> trials;
            sorvane::MediaPlayer player(*engine);
            player.setFileName(wav);
            for (int run = 0; run < runs; ++run) {
                trials.push_back(measure(sink, run, [&] {
                    player.setCurrentPosition(0);
                    player.Play();
                }));
                player.Pause();
            }
            allPass &=
                report(QStringLiteral("engine play latency, %1, loaded WAV").arg(tag), trials, 5.0);
        }
    }
    sink.stop();
    server.stop();
    return allPass ? 0 : 1;
}
