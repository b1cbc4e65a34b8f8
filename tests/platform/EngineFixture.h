#pragma once

// The engine tests' shared parts: float WAVs of tones and noise, offline rendering, a spectrum.

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
#include <numeric>
#include <vector>

namespace fixture {

using sorvane::AudioEngine;
using sorvane::MediaPlayer;
using namespace sorvane::testing;

constexpr int kRate = 48000;
constexpr int kRamp = kRate / 200;     // a start, stop or seek fades over 5 ms
constexpr int kGainRamp = kRate / 100; // a Volume or Mute change over 10 ms

using Frames = std::vector<float>; // interleaved stereo

inline Frames tone(int rate, double seconds, double hz, double amplitude, double phase = 0) {
    Frames f(2 * static_cast<std::size_t>(std::lround(seconds * rate)));
    for (std::size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * (i / 2) / rate + phase));
    return f;
}

// Differs at every frame and between the channels: a repeated, dropped or swapped frame shows.
inline Frames noise(double seconds, int rate = kRate) {
    Frames f(2 * static_cast<std::size_t>(std::lround(seconds * rate)));
    std::uint32_t x = 12345;
    for (float& v : f) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int>(x >> 16) - 32768) / 65536.0f;
    }
    return f;
}

inline bool run(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `path` when `data` was written there, else empty.
inline QString writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? path : QString();
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

// The first of `n` frames of `out` from `at` unlike `src` from `from`, or -1 if none is.
inline int firstDifference(const Frames& out, int at, const Frames& src, int from, int n) {
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 2; ++c)
            if (out[2 * (at + i) + c] != src[2 * (from + i) + c]) return i;
    return -1;
}

// An offline engine with one player, loaded with `file`.
struct Rig {
    explicit Rig(const QString& file = {}, int decodeThreads = 2)
        : engine({.output = AudioEngine::Output::Offline,
                  .sampleRate = kRate,
                  .decodeThreads = decodeThreads}) {
        player.setFileName(file);
    }
    // `frames` more frames, after those of `out`.
    Frames render(int frames, Frames out = {}) {
        const auto at = static_cast<int>(out.size() / 2);
        out.resize(out.size() + 2 * static_cast<std::size_t>(frames));
        for (int done = 0; done < frames; done += engine.periodFrames())
            engine.renderOffline(&out[2 * (at + done)],
                                 std::min(engine.periodFrames(), frames - done));
        return out;
    }
    AudioEngine engine;
    MediaPlayer player{engine};
};

// Plays `count` passes (0: endless) of the stretch from `start` to `end`.
inline void playStretch(MediaPlayer& player, double start, double end, int count = 1) {
    player.setPlayCount(count);
    player.setSelectionStart(start);
    player.setSelectionEnd(end);
    player.setCurrentPosition(start);
    player.Play();
}

class EngineTest : public QObject {
protected:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    // A float WAV, clean far below -120 dB; `mono` keeps the left channel.
    QString wav(const QString& name, const Frames& f, int rate = kRate, bool mono = false) {
        Frames data;
        for (std::size_t i = 0; i < f.size(); i += mono ? 2 : 1)
            data.push_back(f[i]);
        const auto bytes = static_cast<std::uint32_t>(data.size() * sizeof(float));
        return writeAll(path(name), WavHeader(kWavFloat, mono ? 1 : 2, rate, 32, bytes) +
                                        QByteArray(reinterpret_cast<const char*>(data.data()),
                                                   static_cast<qsizetype>(bytes)));
    }
};

// The power spectrum of the left channel, Kaiser window of beta 20 (sidelobes below -150 dB).
class Spectrum {
public:
    Spectrum(const Frames& f, int from, int size) : size_(size), power_(size / 2) {
        std::vector<std::complex<double>> a(static_cast<std::size_t>(size));
        double sum = 0, squares = 0;
        for (int i = 0; i < size; ++i) {
            const double r = 2.0 * i / (size - 1) - 1;
            const double w = std::cyl_bessel_i(0.0, 20 * std::sqrt(std::max(0.0, 1 - r * r))) /
                             std::cyl_bessel_i(0.0, 20.0);
            sum += w;
            squares += w * w;
            a[i] = f[2 * static_cast<std::size_t>(from + i)] * w;
        }
        fft(a);
        peakShare_ = sum * sum / (size * squares);
        for (int k = 0; k < size / 2; ++k)
            power_[k] = 4 * std::norm(a[k]) / (size * squares); // a tone's bins add up to A * A
    }

    int bin(double hz) const { return static_cast<int>(std::lround(hz / kRate * size_)); }
    double amplitude(double hz) const {
        const auto from = power_.begin() + std::max(0, bin(hz) - kLobe);
        return std::sqrt(std::accumulate(from, power_.begin() + bin(hz) + kLobe + 1, 0.0));
    }
    // The strongest bin in [fromHz, toHz) away from `skipHz`, in dB to a tone of amplitude `ref`.
    double largestDb(double fromHz, double toHz, double ref, double skipHz = -1e9) const {
        double most = 1e-30;
        for (int k = std::max(kLobe, bin(fromHz)); k < std::min(size_ / 2, bin(toHz)); ++k)
            if (std::abs(k - bin(skipHz)) > kLobe) most = std::max(most, power_[k]);
        return 10 * std::log10(most / (ref * ref * peakShare_));
    }

private:
    static constexpr int kLobe = 12;

    static void fft(std::vector<std::complex<double>>& a) {
        const std::size_t n = a.size();
        if (n == 1) return;
        std::vector<std::complex<double>> half[2];
        for (std::size_t i = 0; i < n; ++i)
            half[i % 2].push_back(a[i]);
        fft(half[0]);
        fft(half[1]);
        for (std::size_t k = 0; k < n / 2; ++k) {
            const auto t = std::polar(1.0, -2 * M_PI * double(k) / double(n)) * half[1][k];
            a[k] = half[0][k] + t;
            a[k + n / 2] = half[0][k] - t;
        }
    }

    int size_;
    std::vector<double> power_;
    double peakShare_ = 1;
};

} // namespace fixture
