// GO latency: from Play() to the first non-silent frame in the output, with periods of 256
// frames at 48 kHz rendered in real time by a paced thread, for freshly loaded WAV, MP3 and
// WMA files of 5 minutes started at 0 and at 70 %, and for a file prepared the way a
// buffering cue leaves it (loaded, pre-rolled, paused at its start).

#include "BenchCommon.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/PlayerCore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
int kRuns = 15; // 3 in the quick mode

struct Paced {
    sorvane::AudioEngine& engine;
    std::atomic<bool> quit{false};
    std::atomic<bool> armed{false};
    std::atomic<std::int64_t> playedAt{0}; // ns of the clock
    std::atomic<std::int64_t> latency{-1}; // ns
    std::thread thread;

    explicit Paced(sorvane::AudioEngine& e) : engine(e) {
        thread = std::thread([this] {
            std::vector<float> buf(2 * kPeriod);
            const auto period = std::chrono::nanoseconds(1000000000LL * kPeriod / kRate);
            auto next = Clock::now();
            while (!quit) {
                const auto start = Clock::now();
                engine.renderRealtime(buf.data(), kPeriod);
                if (armed) {
                    for (int i = 0; i < kPeriod; ++i) {
                        if (std::abs(buf[2 * i]) > 1e-4f || std::abs(buf[2 * i + 1]) > 1e-4f) {
                            const std::int64_t at =
                                std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    start.time_since_epoch())
                                    .count() +
                                1000000000LL * i / kRate;
                            latency = at - playedAt;
                            armed = false;
                            break;
                        }
                    }
                }
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
    }
    ~Paced() {
        quit = true;
        thread.join();
    }

    // Calls `go` (which plays) and returns the latency in ms, or -1.
    template <typename Go> double measure(Go go) {
        latency = -1;
        playedAt =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count();
        armed = true;
        go();
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (latency < 0 && Clock::now() < deadline) {
            engine.deliverEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        armed = false;
        return latency < 0 ? -1 : latency / 1e6;
    }
};

// Spreads the moments of the GO over the output period: without it every run would hit
// the same phase of the paced renderer.
void dephase(int run) {
    std::this_thread::sleep_for(std::chrono::microseconds((run * 1777) % 5333));
}

void settle(sorvane::AudioEngine& engine, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        engine.deliverEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString wav = dir.filePath("five.wav"), mp3 = dir.filePath("five.mp3"),
                  wma = dir.filePath("five.wma");
    const bool quick = bench::isQuick(argc, argv);
    if (quick) kRuns = 3;
    const double seconds = quick ? 20 : 300;
    QProcess* a = bench::startMaking(wav, seconds, bench::kWav);
    QProcess* b = bench::startMaking(mp3, seconds, bench::kMp3);
    QProcess* c = bench::startMaking(wma, seconds, bench::kWma);
    if (!bench::finish(a) || !bench::finish(b) || !bench::finish(c)) return 2;

    sorvane::AudioEngine::Options options;
    options.output = sorvane::AudioEngine::Output::Offline;
    options.sampleRate = kRate;
    options.periodFrames = kPeriod;
    sorvane::AudioEngine engine(options);
    Paced paced(engine);
    bool allPass = true;

    const struct {
        const char* name;
        QString file;
    } files[] = {{"WAV", wav}, {"MP3", mp3}, {"WMA", wma}};
    for (const auto& f : files) {
        for (double at : {0.0, 0.7}) {
            std::vector<double> ms;
            for (int run = 0; run < kRuns; ++run) {
                dephase(run);
                sorvane::PlayerCore player(engine);
                player.setFileName(f.file); // a fresh load, as a Play Sound cue makes it
                if (player.fileName().isEmpty()) return 2;
                player.setCurrentPosition(at * player.selectionEnd());
                ms.push_back(paced.measure([&] { player.play(); }));
                player.stop();
                settle(engine, 0.01);
            }
            const double med = bench::median(ms);
            const bool pass = med >= 0 && med <= 10.0 && bench::maximum(ms) >= 0;
            allPass &= pass;
            bench::figure(QStringLiteral("go latency, fresh %1 at %2 %").arg(f.name).arg(at * 100),
                          QStringLiteral("median %1 ms (max %2, %3 runs)")
                              .arg(med, 0, 'f', 2)
                              .arg(bench::maximum(ms), 0, 'f', 2)
                              .arg(kRuns),
                          "<= 10 ms", pass);
        }
    }

    // Prepared the way a buffering cue leaves a channel: pre-rolled across the end, paused,
    // at its start; then GO as a Play Sound cue does it on that channel.
    for (const auto& f : files) {
        std::vector<double> ms;
        for (int run = 0; run < kRuns; ++run) {
            sorvane::PlayerCore player(engine);
            player.setFileName(f.file);
            player.setMute(true);
            player.setPlayCount(2);
            player.play();
            player.setCurrentPosition(player.selectionEnd() - 0.5);
            player.setRate(1.0);
            settle(engine, 1.0);
            player.pause();
            player.setCurrentPosition(0);
            settle(engine, 0.1);
            dephase(run);
            ms.push_back(paced.measure([&] {
                player.setMute(false);
                player.setPlayCount(1);
                player.setSelectionStart(0);
                player.setCurrentPosition(0);
                player.play();
            }));
            player.stop();
            settle(engine, 0.01);
        }
        const double med = bench::median(ms);
        const bool pass = med >= 0 && med <= 256.0 * 1000 / kRate;
        allPass &= pass;
        bench::figure(QStringLiteral("go latency, buffered %1 at start").arg(f.name),
                      QStringLiteral("median %1 ms (max %2, %3 runs)")
                          .arg(med, 0, 'f', 2)
                          .arg(bench::maximum(ms), 0, 'f', 2)
                          .arg(kRuns),
                      "<= 5.33 ms", pass);
    }
    return allPass ? 0 : 1;
}
