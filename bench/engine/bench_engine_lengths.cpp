// True lengths at the load: a two-hour VBR MP3 without any length header (ten-second pieces
// joined), its load time and the error of SelectionEnd against the decoded length; and
// sparse files of zeros named .mp3, the time to refuse them and the memory that costs.
// Pictures at the load: an MP3 carrying a 12 MB cover picture against the same MP3 without
// it, and the picture alone named .mp3.

#include "BenchCommon.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/PlayerCore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <sys/resource.h>

namespace {

long peakKb() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
}

double loadMs(sorvane::PlayerCore& player, const QString& file) {
    QElapsedTimer t;
    t.start();
    player.setFileName(file);
    const double ms = t.nsecsElapsed() / 1e6;
    player.setFileName(QString());
    return ms;
}

bool ffmpeg(const QStringList& args) {
    return QProcess::execute("ffmpeg",
                             QStringList{"-nostdin", "-loglevel", "error", "-y"} + args) == 0;
}

// Loads of `file`, `runs` times: the median in ms and whether every load was refused.
std::pair<double, bool> loads(sorvane::PlayerCore& player, const QString& file, int runs) {
    std::vector<double> times;
    bool refused = true;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        player.setFileName(file);
        times.push_back(t.nsecsElapsed() / 1e6);
        refused = refused && player.fileName().isEmpty();
        player.setFileName(QString());
    }
    return {bench::median(times), refused};
}

bool pictureFigures(sorvane::PlayerCore& player, const QTemporaryDir& dir, bool quick) {
    // Noise, so that the picture keeps its 12 MB in the file.
    const QString picture = dir.filePath("cover.png"), png = dir.filePath("picture.mp3");
    const QString bare = dir.filePath("bare.mp3"), covered = dir.filePath("covered.mp3");
    if (!ffmpeg({"-f", "lavfi", "-i",
                 "nullsrc=s=2900x2900,geq=r=random(1)*255:g=random(2)*255:b=random(3)*255",
                 "-frames:v", "1", picture}) ||
        !bench::make(bare, 30, bench::kMp3) ||
        !ffmpeg({"-i", bare, "-i", picture, "-map", "0", "-map", "1", "-c", "copy",
                 "-id3v2_version", "3", "-disposition:v", "attached_pic", covered}) ||
        !QFile::copy(picture, png))
        return false;
    const int runs = quick ? 3 : 21;
    const auto [without, bareRefused] = loads(player, bare, runs);
    const auto [with, coveredRefused] = loads(player, covered, runs);
    const auto [pngMs, pngRefused] = loads(player, png, runs);
    const double mb = QFileInfo(picture).size() / 1e6;
    const bool loaded = !bareRefused && !coveredRefused;
    bench::figure(QStringLiteral("load of an MP3 with a %1 MB cover").arg(mb, 0, 'f', 1),
                  QStringLiteral("median %1 ms, without it %2 ms")
                      .arg(with, 0, 'f', 2)
                      .arg(without, 0, 'f', 2),
                  "<= +5 ms", loaded && with - without <= 5);
    bench::figure(
        QStringLiteral("refusing a %1 MB PNG named .mp3").arg(mb, 0, 'f', 1),
        QStringLiteral("median %1 ms%2").arg(pngMs, 0, 'f', 2).arg(pngRefused ? "" : ", loaded!"),
        "<= 60 ms", pngRefused && pngMs <= 60);
    return loaded && with - without <= 5 && pngRefused && pngMs <= 60;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::isQuick(argc, argv);
    QTemporaryDir dir;
    sorvane::AudioEngine::Options options;
    options.output = sorvane::AudioEngine::Output::Offline;
    sorvane::AudioEngine engine(options);
    sorvane::PlayerCore player(engine);
    bool ok = true;

    // Zeros first, while the process is small: the memory figure is the growth of its peak.
    for (const qint64 gb : {1, 10}) {
        const QString zeros = dir.filePath(QStringLiteral("zeros-%1.mp3").arg(gb));
        {
            QFile f(zeros);
            if (!f.open(QIODevice::WriteOnly) || !f.resize(gb << 30)) return 2;
        }
        const long before = peakKb();
        std::vector<double> times;
        for (int i = 0; i < (quick ? 1 : 5); ++i) {
            times.push_back(loadMs(player, zeros));
            player.setFileName(zeros);
            if (!player.fileName().isEmpty()) return 2; // must be refused
        }
        const double grownMb = (peakKb() - before) / 1024.0;
        const double med = bench::median(times);
        bench::figure(QStringLiteral("refusing %1 GB of zeros named .mp3").arg(gb),
                      QStringLiteral("median %1 ms (max %2)")
                          .arg(med, 0, 'f', 1)
                          .arg(bench::maximum(times), 0, 'f', 1),
                      "<= 300 ms", med <= 300);
        bench::figure(QStringLiteral("memory refusing %1 GB of zeros").arg(gb),
                      QStringLiteral("%1 MB more at the peak").arg(grownMb, 0, 'f', 1), "<= 64 MB",
                      grownMb <= 64);
        ok = ok && med <= 300 && grownMb <= 64;
    }

    // Ten seconds of VBR without a header, decoded once for the truth, joined to two hours.
    const QString piece = dir.filePath("piece.mp3");
    if (!bench::make(piece, 10, {"-c:a", "libmp3lame", "-q:a", "4", "-write_xing", "0"})) return 2;
    QProcess decode;
    decode.start("ffmpeg", {"-loglevel", "error", "-i", piece, "-f", "s16le", "-ac", "1", "-"});
    if (!decode.waitForFinished(60000) || decode.exitCode() != 0) return 2;
    const qint64 pieceFrames = decode.readAllStandardOutput().size() / 2;
    QFile pieceFile(piece);
    if (!pieceFile.open(QIODevice::ReadOnly)) return 2;
    const QByteArray bytes = pieceFile.readAll();
    const int copies = quick ? 12 : 720;
    const QString longFile = dir.filePath("two-hours.mp3");
    {
        QFile f(longFile);
        if (!f.open(QIODevice::WriteOnly)) return 2;
        for (int i = 0; i < copies; ++i)
            if (f.write(bytes) != bytes.size()) return 2;
    }
    const double truth = static_cast<double>(pieceFrames) * copies / 44100;
    std::vector<double> times;
    double error = 0;
    for (int i = 0; i < (quick ? 1 : 7); ++i) {
        QElapsedTimer t;
        t.start();
        player.setFileName(longFile);
        times.push_back(t.nsecsElapsed() / 1e6);
        if (player.fileName().isEmpty()) return 2;
        error = std::max(error, std::abs(player.selectionEnd() - truth));
        player.setFileName(QString());
    }
    const double med = bench::median(times);
    const double frames = error / (1152.0 / 44100);
    const QString name = quick ? QStringLiteral("two-minute") : QStringLiteral("two-hour");
    bench::figure(QStringLiteral("load of a %1 VBR MP3 without header").arg(name),
                  QStringLiteral("median %1 ms (max %2, %3 loads)")
                      .arg(med, 0, 'f', 1)
                      .arg(bench::maximum(times), 0, 'f', 1)
                      .arg(times.size()),
                  "<= 150 ms", med <= 150);
    bench::figure(QStringLiteral("its SelectionEnd against the decoded %1 s").arg(truth, 0, 'f', 3),
                  QStringLiteral("%1 MP3 frames off").arg(frames, 0, 'f', 3), "<= 1 frame",
                  frames <= 1);
    ok = ok && med <= 150 && frames <= 1;
    ok = ok && pictureFigures(player, dir, quick);
    return quick || ok ? 0 : 1; // the quick mode only shows that it runs
}
