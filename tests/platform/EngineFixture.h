#pragma once

// The engine tests' shared parts: float WAVs of tones and noise, offline rendering, a spectrum.

#include "../support/ToneLevels.h"
#include "../support/WavHeader.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdint>
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

} // namespace fixture
