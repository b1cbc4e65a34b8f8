#pragma once

// What the engine's tests share: float WAV files of exact tones and of noise, offline
// rendering, and a spectrum (FFT with a Kaiser window) to read levels and spurs from.

#include "../support/WavHeader.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace fixture {

using sorvane::AudioEngine;
using sorvane::MediaPlayer;

constexpr int kRate = 48000;
constexpr int kRamp = kRate / 200;     // a start, stop or seek fades over 5 ms
constexpr int kGainRamp = kRate / 100; // a Volume or Mute change over 10 ms

inline AudioEngine::Options offline() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.sampleRate = kRate;
    return o;
}

// Interleaved stereo floats.
using Frames = std::vector<float>;

inline Frames tone(int rate, double seconds, double hz, double amplitude, double phase = 0) {
    const int n = static_cast<int>(std::lround(seconds * rate));
    Frames f(2 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        f[2 * i] = f[2 * i + 1] =
            static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate + phase));
    return f;
}

// Differs at every frame and between the channels, so that a repeated, dropped or swapped
// frame shows.
inline Frames noise(double seconds, int rate = kRate) {
    Frames f(2 * static_cast<std::size_t>(std::lround(seconds * rate)));
    std::uint32_t x = 12345;
    for (float& v : f) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int>(x >> 16) - 32768) / 65536.0f;
    }
    return f;
}

// A 32-bit float WAV, so that the source itself is clean far below -120 dB; `mono` keeps the
// left channel only.
inline bool writeFloatWav(const QString& path, const Frames& f, int rate, bool mono = false) {
    Frames data;
    for (std::size_t i = 0; i < f.size(); i += mono ? 2 : 1)
        data.push_back(f[i]);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const auto bytes = static_cast<std::uint32_t>(data.size() * sizeof(float));
    file.write(
        sorvane::testing::WavHeader(sorvane::testing::kWavFloat, mono ? 1 : 2, rate, 32, bytes));
    return file.write(reinterpret_cast<const char*>(data.data()), bytes) == bytes;
}

// Runs a program to its end; true when it ended with status 0.
inline bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out) *out = p.readAllStandardOutput();
    return true;
}

inline Frames render(AudioEngine& engine, int frames) {
    Frames out(static_cast<std::size_t>(frames) * 2);
    for (int done = 0; done < frames; done += engine.periodFrames()) {
        const int n = std::min(engine.periodFrames(), frames - done);
        engine.renderOffline(out.data() + 2 * done, n);
    }
    return out;
}

// The largest move from one frame to the next, left channel, over [from, to).
inline float largestStep(const Frames& f, int from, int to) {
    float step = 0;
    for (int i = std::max(from, 1); i < to; ++i)
        step = std::max(step, std::abs(f[2 * i] - f[2 * i - 2]));
    return step;
}

// Frames up to the last non-silent one.
inline int soundingFrames(const Frames& s) {
    for (int i = static_cast<int>(s.size()) / 2 - 1; i >= 0; --i)
        if (s[2 * i] != 0.0f || s[2 * i + 1] != 0.0f) return i + 1;
    return 0;
}

// The first of `n` frames of `out` from `at` that differs from `src` from `from` (both
// channels), or -1 when all are the same.
inline int firstDifference(const Frames& out, int at, const Frames& src, int from, int n) {
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 2; ++c)
            if (out[2 * (at + i) + c] != src[2 * (from + i) + c]) return i;
    return -1;
}

// A test with a folder for the files it makes.
class EngineTest : public QObject {
protected:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString wav(const QString& name, const Frames& f, int rate = kRate, bool mono = false) {
        return writeFloatWav(path(name), f, rate, mono) ? path(name) : QString();
    }
};

// The power spectrum of the left channel over `size` frames from `from` (a power of two),
// through a Kaiser window (beta 20: its sidelobes lie below -150 dB).
class Spectrum {
public:
    Spectrum(const Frames& f, int from, int size) : size_(size) {
        std::vector<std::complex<double>> a(static_cast<std::size_t>(size));
        const double i0 = bessel(kBeta);
        double sum = 0, sumSquares = 0;
        for (int i = 0; i < size; ++i) {
            const double r = 2.0 * i / (size - 1) - 1;
            const double w = bessel(kBeta * std::sqrt(std::max(0.0, 1 - r * r))) / i0;
            sum += w;
            sumSquares += w * w;
            a[i] = f[2 * static_cast<std::size_t>(from + i)] * w;
        }
        fft(a);
        peakShare_ = sum * sum / (static_cast<double>(size) * sumSquares);
        power_.resize(static_cast<std::size_t>(size / 2));
        // Scaled so that the bins of a tone of amplitude A add up to A * A.
        for (int k = 0; k < size / 2; ++k)
            power_[k] = 4 * std::norm(a[k]) / (static_cast<double>(size) * sumSquares);
    }

    int bin(double hz) const { return static_cast<int>(std::lround(hz / kRate * size_)); }
    // The amplitude of the tone at `hz`, from the bins of its main lobe.
    double amplitude(double hz) const {
        double sum = 0;
        for (int k = std::max(0, bin(hz) - kLobe); k <= std::min(size_ / 2 - 1, bin(hz) + kLobe);
             ++k)
            sum += power_[k];
        return std::sqrt(sum);
    }
    // The strongest bin in [fromHz, toHz) away from the tones at `skip`, in dB relative to the
    // strongest bin a tone of amplitude `ref` can have.
    double largestDb(double fromHz, double toHz, const std::vector<double>& skip,
                     double ref) const {
        double most = 1e-30;
        for (int k = std::max(kLobe, bin(fromHz)); k < std::min(size_ / 2, bin(toHz)); ++k) {
            bool near = false;
            for (double hz : skip)
                near = near || std::abs(k - bin(hz)) <= kLobe;
            if (!near) most = std::max(most, power_[k]);
        }
        return 10 * std::log10(most / (ref * ref * peakShare_));
    }

private:
    static constexpr double kBeta = 20;
    static constexpr int kLobe = 12;

    static double bessel(double x) {
        double sum = 1, term = 1;
        for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
            term *= (x / (2 * k)) * (x / (2 * k));
            sum += term;
        }
        return sum;
    }
    static void fft(std::vector<std::complex<double>>& a) {
        const std::size_t n = a.size();
        for (std::size_t i = 1, j = 0; i < n; ++i) {
            std::size_t bit = n >> 1;
            for (; j & bit; bit >>= 1)
                j ^= bit;
            j ^= bit;
            if (i < j) std::swap(a[i], a[j]);
        }
        for (std::size_t len = 2; len <= n; len <<= 1) {
            const double ang = -2 * M_PI / static_cast<double>(len);
            for (std::size_t j = 0; j < len / 2; ++j) {
                const std::complex<double> w = std::polar(1.0, ang * static_cast<double>(j));
                for (std::size_t i = 0; i < n; i += len) {
                    const std::complex<double> u = a[i + j], v = a[i + j + len / 2] * w;
                    a[i + j] = u + v;
                    a[i + j + len / 2] = u - v;
                }
            }
        }
    }

    int size_;
    double peakShare_ = 1;
    std::vector<double> power_;
};

} // namespace fixture
