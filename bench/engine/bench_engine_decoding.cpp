// Decoding: a 5-minute MP3 decoded by the engine's reader as fast as it goes (a reader that
// takes every chunk the moment it is ready), against `ffmpeg -i FILE -f f32le -y /dev/null`
// on the same file in the same run. The figure is ffmpeg's time over the reader's.

#include "BenchCommon.h"
#include "platform/engine/DecodePool.h"
#include "platform/engine/MediaSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace sorvane::engine;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::isQuick(argc, argv);
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("five.mp3");
    if (!bench::make(mp3, quick ? 20 : 300, bench::kMp3)) return 2;
    const std::string url = "file:" + QFile::encodeName(mp3).toStdString();

    std::vector<double> ours, theirs;
    std::int64_t frames = 0;
    for (int run = 0; run < (quick ? 1 : 5); ++run) {
        QElapsedTimer t;
        t.start();
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-loglevel", "error", "-i", mp3, "-f", "f32le", "-y",
                                "/dev/null"});
        if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) return 2;
        theirs.push_back(t.nsecsElapsed() / 1e9);

        std::atomic<std::uint64_t> epoch{0};
        DecodePool pool(1);
        t.restart();
        MediaProbe probe;
        auto source = MediaSource::open(url, &epoch, probe);
        if (!source) return 2;
        pool.add(source);
        std::int64_t k = 0;
        for (;; ++k) {
            if (source->endKnown() && k * kChunkFrames >= source->length()) break;
            source->setCursor(k * kChunkFrames);
            if (!source->waitForChunk(k, 10000)) {
                if (source->endKnown() && k * kChunkFrames >= source->length()) break;
                return 2;
            }
        }
        ours.push_back(t.nsecsElapsed() / 1e9);
        frames = source->length();
        pool.remove(source.get());
    }
    const double ratio = bench::median(theirs) / bench::median(ours);
    bench::figure(quick ? "decoding, 20-s MP3 vs ffmpeg (quick)" : "decoding, 5-min MP3 vs ffmpeg",
                  QStringLiteral("%1 x ffmpeg's speed (%2 s vs %3 s, medians of %4)")
                      .arg(ratio, 0, 'f', 2)
                      .arg(bench::median(ours), 0, 'f', 3)
                      .arg(bench::median(theirs), 0, 'f', 3)
                      .arg(quick ? 1 : 5),
                  ">= 1.0 x", ratio >= 1.0 && frames > (quick ? 19 : 290) * 44100);
    return quick || ratio >= 1.0 ? 0 : 1; // the quick mode only shows that it runs
}
