#pragma once

// What the playback benchmarks share: the quick mode, the rig's start, and waits that let
// the program's events run while the listener looks for sound.

#include "../engine/BenchCommon.h"
#include "SinkRig.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace bench {

// `--quick` or SORVANE_BENCH_QUICK=1: few runs and short files, to show the program still runs.
inline bool quickMode(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) return true;
    const char* q = std::getenv("SORVANE_BENCH_QUICK");
    return q && *q && std::strcmp(q, "0") != 0;
}

// Lets the program's events and timers run for `ms` milliseconds.
inline void pump(double ms) {
    const std::int64_t until = nowNs() + static_cast<std::int64_t>(ms * 1e6);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    } while (nowNs() < until);
}

// Runs the program's events until `done()` holds or `ms` pass; whether it held.
inline bool pumpUntil(const std::function<bool()>& done, double ms) {
    const std::int64_t until = nowNs() + static_cast<std::int64_t>(ms * 1e6);
    for (;;) {
        if (done()) return true;
        if (nowNs() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(100);
    }
}

// The first sounding frame at or after `from`, running the program's events meanwhile;
// -1 when none comes within `ms`.
inline std::int64_t soundAfter(const SinkCapture& sink, std::int64_t from, double ms) {
    std::int64_t i = from, found = -1;
    pumpUntil(
        [&] {
            const std::int64_t end = sink.frames();
            for (; i < end; ++i)
                if (sink.level(i) > SinkCapture::kLoud) {
                    found = i;
                    return true;
                }
            return false;
        },
        ms);
    return found;
}

// Runs the program's events until the sink has been silent for `ms` milliseconds on end.
inline bool pumpUntilSilent(const SinkCapture& sink, double ms, double limitMs = 5000) {
    const std::int64_t need = static_cast<std::int64_t>(ms * SinkCapture::kRate / 1000);
    return pumpUntil(
        [&] {
            const std::int64_t end = sink.frames();
            return end > need && sink.lastSound(end - need, end) < 0;
        },
        limitMs);
}

// A silence of this many frames inside a sound is a dropout (0.5 ms; the test signals never
// stay this near zero on both channels).
constexpr std::int64_t kDropoutFrames = 24;

} // namespace bench
