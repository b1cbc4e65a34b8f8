// Mixing cost: four players of 44.1 kHz sources at rates 0.8, 1, 1.37 and 2, through the
// band-limited resampler, their volumes stepping by 40 every 11 ms, rendered on one thread;
// the figure is audio time over that thread's CPU time.

#include "BenchCommon.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/PlayerCore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <ctime>
#include <memory>

namespace {
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::isQuick(argc, argv);
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("five.mp3");
    if (!bench::make(mp3, quick ? 40 : 300, bench::kMp3)) return 2;

    sorvane::AudioEngine::Options options;
    options.output = sorvane::AudioEngine::Output::Offline;
    options.sampleRate = 48000;
    options.periodFrames = 256;
    options.decodeThreads = 4;
    sorvane::AudioEngine engine(options);
    const double rates[] = {0.8, 1.0, 1.37, 2.0};
    std::vector<std::unique_ptr<sorvane::PlayerCore>> players;
    for (double rate : rates) {
        auto p = std::make_unique<sorvane::PlayerCore>(engine);
        p->setFileName(mp3);
        if (p->fileName().isEmpty()) return 2;
        p->setRate(rate);
        p->setPlayCount(0);
        p->setCurrentPosition(10 * rate);
        p->play();
        players.push_back(std::move(p));
    }
    std::vector<float> out(2 * 256);
    for (int i = 0; i < 200; ++i)
        engine.renderOffline(out.data(), 256); // warm up

    const int periods = (quick ? 5 : 120) * 48000 / 256; // two minutes of output
    const int stepFrames = 48000 * 11 / 1000;
    std::vector<double> ratios;
    for (int round = 0; round < (quick ? 1 : 3); ++round) {
        double cpu = 0;
        int sinceStep = 0, volume = 0, direction = -40;
        for (int i = 0; i < periods; ++i) {
            sinceStep += 256;
            if (sinceStep >= stepFrames) { // a fade step on every player
                sinceStep -= stepFrames;
                volume += direction;
                if (volume <= -2000 || volume >= 0) direction = -direction;
                for (auto& p : players)
                    p->setVolume(volume);
            }
            const double t0 = threadSeconds();
            engine.renderOffline(out.data(), 256);
            cpu += threadSeconds() - t0;
        }
        ratios.push_back(periods * 256.0 / 48000 / cpu);
    }
    for (auto& p : players)
        if (p->playState() != sorvane::PlayerCore::Playing) return 2;
    const double med = bench::median(ratios);
    bench::figure("mixing cost, 4 players at 0.8/1/1.37/2",
                  QStringLiteral("%1 x real time (median of %2)")
                      .arg(med, 0, 'f', 0)
                      .arg(quick ? "1 x 5 s, quick" : "3 x 120 s"),
                  ">= 150 x", med >= 150);
    return quick || med >= 150 ? 0 : 1; // the quick mode only shows that it runs
}
