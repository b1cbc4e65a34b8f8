// The resampler: its mirrors and its cost.
//  - Tones from near 0 to 99.5 % of the Nyquist frequency of sources at 8 to 96 kHz, played at
//    rates from 0.25 to 2 into 48 kHz: the strongest image or alias heard (20 Hz to 20 kHz)
//    and the largest departure from the tone's level up to 90 % of the lower Nyquist frequency.
//  - Mixing cost: four players of 44.1 kHz sources at rates 0.8, 1, 1.37 and 2, through the
//    band-limited resampler, their volumes stepping by 40 every 11 ms, rendered on one thread;
//    the figure is audio time over that thread's CPU time.

#include "../../tests/support/ToneLevels.h"
#include "BenchCommon.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/PlayerCore.h"
#include "platform/engine/Resampler.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cmath>
#include <ctime>
#include <memory>

namespace {
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

constexpr int kOut = 48000;
constexpr int kFft = 65536;
constexpr int kSettle = 4096;
constexpr double kAmplitude = 0.5;

struct Mirrors {
    double worstDb = -400; // the strongest image or alias heard
    double flatDb = 0;     // the largest departure from the level in the pass band
    QString worstAt, flatAt;
};

// A tone of `hz` from a source at `fileRate` played at `rate`, through the resampler as a
// player's voice uses it; adds its mirrors and its level to `m`.
void measureTone(int fileRate, double rate, double hz, Mirrors& m) {
    using namespace sorvane::engine;
    const double step = fileRate * rate / kOut;
    const ResampleKernel kernel(ResampleKernel::indexFor(step), kOut);
    Resampler r;
    r.reset(kernel.half());
    std::vector<float> in, out(2 * static_cast<std::size_t>(kSettle + kFft));
    std::int64_t made = 0;
    int done = 0;
    while (done < kSettle + kFft) {
        const int m = std::min(512, kSettle + kFft - done);
        const auto need = static_cast<int>(r.inputNeeded(m, step, kernel.half()));
        in.resize(2 * static_cast<std::size_t>(need));
        for (int i = 0; i < need; ++i, ++made)
            in[2 * i] = in[2 * i + 1] =
                static_cast<float>(kAmplitude * std::sin(2 * M_PI * hz * made / fileRate));
        r.write(in.data(), need);
        done += r.render(kernel, step, &out[2 * static_cast<std::size_t>(done)], m, INT64_MAX);
    }
    const sorvane::testing::ToneLevels s(out, kSettle, kFft, kOut);
    const double heard = hz * rate;
    const QString at =
        QStringLiteral("%1 Hz source, rate %2, %3 Hz").arg(fileRate).arg(rate).arg(hz);
    const double mirror = s.largestDb(20, 20000, kAmplitude, heard < kOut / 2 ? heard : -1e9);
    if (mirror > m.worstDb) m.worstDb = mirror, m.worstAt = at;
    if (heard <= 0.45 * std::min<double>(fileRate * rate, kOut)) {
        const double level = std::abs(20 * std::log10(s.amplitude(heard) / kAmplitude));
        if (level > m.flatDb) m.flatDb = level, m.flatAt = at;
    }
}

// The mirrors over the grid of source rates, rates and tones.
bool mirrorFigures(bool quick) {
    const std::vector<int> fileRates =
        quick ? std::vector<int>{8000, 44100}
              : std::vector<int>{8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};
    const std::vector<double> rates =
        quick ? std::vector<double>{0.25, 1, 2}
              : std::vector<double>{0.25, 0.3,  0.37, 0.5,  0.63, 0.75, 0.8,  0.9, 0.95,
                                    1,    1.05, 1.1,  1.25, 1.37, 1.5,  1.75, 2};
    const std::vector<double> shares =
        quick ? std::vector<double>{0.3, 0.9, 0.99}
              : std::vector<double>{0.02, 0.1,  0.2, 0.3,  0.4,  0.5,  0.6,  0.7,
                                    0.8,  0.85, 0.9, 0.93, 0.96, 0.98, 0.99, 0.995};
    Mirrors m;
    for (int fileRate : fileRates)
        for (double rate : rates)
            for (double share : shares)
                measureTone(fileRate, rate, share * fileRate / 2, m);
    const auto cases = static_cast<int>(fileRates.size() * rates.size() * shares.size());
    bench::figure(QStringLiteral("resampler: strongest mirror heard, %1 tones").arg(cases),
                  QStringLiteral("%1 dB (%2)").arg(m.worstDb, 0, 'f', 1).arg(m.worstAt),
                  "<= -100 dB", m.worstDb <= -100);
    bench::figure(QStringLiteral("resampler: pass band to 90 % of Nyquist"),
                  QStringLiteral("within %1 dB (%2)").arg(m.flatDb, 0, 'f', 4).arg(m.flatAt),
                  "<= 0.01 dB", m.flatDb <= 0.01);
    return m.worstDb <= -100 && m.flatDb <= 0.01;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::isQuick(argc, argv);
    const bool clean = mirrorFigures(quick);
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
    return quick || (med >= 150 && clean) ? 0 : 1; // the quick mode only shows that it runs
}
