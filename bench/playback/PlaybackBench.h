#pragma once

// What the playback benchmarks share: the quick mode, the rig's start, and waits that let
// the program's events run while the listener looks for sound.

#include "../engine/BenchCommon.h"
#include "SinkRig.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

// `--quick` or SORVANE_BENCH_QUICK=1: few runs and short files, to show the program still runs.
inline bool quickMode(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) return true;
    const char* q = std::getenv("SORVANE_BENCH_QUICK");
    return q && *q && std::strcmp(q, "0") != 0;
}

// Lets the program's events and timers run for `ms` milliseconds, as the program's own event
// loop runs them: asleep until an event or a timer is due.
inline void pump(double ms) {
    QEventLoop loop;
    QTimer::singleShot(std::max(0, static_cast<int>(std::lround(ms))), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

// Runs the program's events until `done()` holds or `ms` pass; whether it held. `done` is
// asked every millisecond by a timer of its own, which leaves the program's timers on time.
inline bool pumpUntil(const std::function<bool()>& done, double ms) {
    if (done()) return true;
    const std::int64_t until = nowNs() + static_cast<std::int64_t>(ms * 1e6);
    bool held = false;
    QEventLoop loop;
    QTimer ask;
    ask.setTimerType(Qt::PreciseTimer);
    ask.setInterval(1);
    QObject::connect(&ask, &QTimer::timeout, &loop, [&] {
        held = done();
        if (held || nowNs() > until) loop.quit();
    });
    ask.start();
    loop.exec();
    return held;
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

// Whether the 300 ms of sound from `onset` hold a dropout, running the program's events until
// they have reached the sink. With SORVANE_BENCH_VERBOSE, where each silence falls: that
// tells a slow start of the sound from a late output.
inline bool dropoutAfter(const SinkCapture& sink, std::int64_t onset) {
    const std::int64_t window = SinkCapture::kRate * 3 / 10;
    pumpUntil([&] { return sink.frames() >= onset + window; }, 2000);
    const std::int64_t end = std::min(onset + window, sink.frames());
    const bool dropout = sink.longestSilence(onset, end) >= kDropoutFrames;
    if (dropout && std::getenv("SORVANE_BENCH_VERBOSE")) {
        std::int64_t run = 0;
        for (std::int64_t i = onset; i < end; ++i) {
            if (sink.level(i) <= SinkCapture::kLoud) {
                ++run;
                continue;
            }
            if (run >= kDropoutFrames)
                std::fprintf(stderr, "  silence of %lld frames at %.2f ms after the onset\n",
                             static_cast<long long>(run),
                             (i - run - onset) * 1000.0 / SinkCapture::kRate);
            run = 0;
        }
    }
    return dropout;
}

// The CPU time of the whole process so far, in seconds.
inline double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

// The process's CPU time over `seconds` of the program's own idle (an event loop asleep until
// an event comes), in % of one core; `seconds` becomes the wall time it took.
inline double idleCpuPercent(double& seconds) {
    const double cpu0 = processCpuSeconds();
    const std::int64_t wall0 = nowNs();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    seconds = (nowNs() - wall0) / 1e9;
    return 100 * (processCpuSeconds() - cpu0) / seconds;
}

// The CPU time of another process so far, in seconds; -1 when it cannot be read.
inline double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command's closing parenthesis: state is the first, utime the 12th.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13) return -1;
    return (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A background load that keeps every core busy: one endless loop per core, each a process
// of its own at normal priority, ended with the object.
class BusyLoad {
public:
    explicit BusyLoad(bool on) {
        if (!on) return;
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i) {
            loops_.push_back(std::make_unique<QProcess>());
            loops_.back()->start(QStringLiteral("sh"),
                                 {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        }
        for (const auto& p : loops_)
            p->waitForStarted(5000);
    }
    ~BusyLoad() {
        for (const auto& p : loops_) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::vector<std::unique_ptr<QProcess>> loops_;
};

} // namespace bench

namespace bench {

// The amplitude (0..32767) of a tone of `hz` in the left channel over the `n` frames that end
// at `end`, by the Goertzel recurrence with a Hann window.
inline double toneAmplitude(const SinkCapture& sink, std::int64_t end, double hz, int n = 480) {
    const double w = 2 * M_PI * hz / SinkCapture::kRate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0, windowSum = 0;
    for (int i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1));
        windowSum += hann;
        const double s0 = sink.left(end - n + i) * hann + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / windowSum;
}

// The first frame (the middle of the first window, at a hop of one block) from `from` on where
// the tone of `hz` reaches half of `amplitude`; -1 when it does not before `to`.
inline std::int64_t toneOnset(const SinkCapture& sink, std::int64_t from, std::int64_t to,
                              double hz, double amplitude, int n = 480) {
    for (std::int64_t end = from + n; end <= to; end += SinkCapture::kBlock)
        if (toneAmplitude(sink, end, hz, n) >= amplitude / 2) return end - n / 2;
    return -1;
}

// The root mean square of the left channel over [from, to).
inline double rms(const SinkCapture& sink, std::int64_t from, std::int64_t to) {
    double sum = 0;
    for (std::int64_t i = from; i < to; ++i)
        sum += static_cast<double>(sink.left(i)) * sink.left(i);
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

} // namespace bench
