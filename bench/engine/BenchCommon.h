#pragma once

// What the engine benchmarks share: media made at run time from a synthesized signal,
// medians, and the figure lines.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

// `--quick` or SORVANE_BENCH_QUICK=1: short media and few runs, to show the program still runs.
inline bool isQuick(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) return true;
    const char* q = std::getenv("SORVANE_BENCH_QUICK");
    return q && *q && std::strcmp(q, "0") != 0;
}

// A stereo signal that is loud from its first frame, `seconds` long, encoded by ffmpeg with
// `codecArgs` (for example {"-c:a", "libmp3lame", "-b:a", "192k"}) into `path`.
inline QProcess* startMaking(const QString& path, double seconds, const QStringList& codecArgs,
                             int rate = 44100) {
    auto* p = new QProcess;
    QStringList args = {"-nostdin",
                        "-loglevel",
                        "error",
                        "-y",
                        "-f",
                        "lavfi",
                        "-i",
                        QStringLiteral("aevalsrc=0.5*cos(2*PI*440*t)+0.2*sin(2*PI*1234*t)|"
                                       "0.5*cos(2*PI*660*t)+0.1*sin(2*PI*97*t):s=%1:d=%2")
                            .arg(rate)
                            .arg(seconds)};
    args << codecArgs << path;
    p->start("ffmpeg", args);
    return p;
}

inline bool finish(QProcess* p) {
    const bool ok =
        p->waitForFinished(600000) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    if (!ok) std::fprintf(stderr, "ffmpeg failed: %s\n", p->readAllStandardError().constData());
    delete p;
    return ok;
}

inline bool make(const QString& path, double seconds, const QStringList& codecArgs,
                 int rate = 44100) {
    return finish(startMaking(path, seconds, codecArgs, rate));
}

inline const QStringList kMp3 = {"-c:a", "libmp3lame", "-b:a", "192k"};
inline const QStringList kWma = {"-c:a", "wmav2", "-b:a", "192k"};
inline const QStringList kWav = {"-c:a", "pcm_s16le"};

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double maximum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// One line per figure: name, measured value, target, PASS or MISS.
inline void figure(const QString& name, const QString& value, const QString& target, bool pass) {
    std::printf("%-44s %-40s target %-14s %s\n", name.toUtf8().constData(),
                value.toUtf8().constData(), target.toUtf8().constData(), pass ? "PASS" : "MISS");
    std::fflush(stdout);
}

} // namespace bench
