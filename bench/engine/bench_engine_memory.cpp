// Memory: the peak resident memory of the program with four 20-minute stereo MP3 files
// loaded and playing through the output (SDL, the dummy driver on a machine without sound),
// with seeks and loops across each file, above the idle program with its engine.

#include "BenchCommon.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/PlayerCore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

namespace {
// A field of /proc/self/status in kB.
long statusKb(const char* field) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLong();
    return -1;
}

void run(double seconds) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::isQuick(argc, argv);
    QTemporaryDir dir;
    QStringList files;
    std::vector<QProcess*> making;
    for (int i = 0; i < 4; ++i) {
        files << dir.filePath(QStringLiteral("long%1.mp3").arg(i));
        making.push_back(bench::startMaking(files.last(), quick ? 60 : 1200, bench::kMp3));
    }
    for (QProcess* p : making)
        if (!bench::finish(p)) return 2;

    sorvane::AudioEngine engine; // the program's engine, on its output
    run(0.5);
    const long idle = statusKb("VmRSS:");

    std::vector<std::unique_ptr<sorvane::PlayerCore>> players;
    for (const QString& f : files) {
        auto p = std::make_unique<sorvane::PlayerCore>(engine);
        p->setFileName(f);
        if (p->fileName().isEmpty()) return 2;
        p->setPlayCount(0);
        p->play();
        players.push_back(std::move(p));
    }
    run(1.0);
    // Jumps across each file and a loop near its end, as a show does.
    for (double at : {0.1, 0.5, 0.9, 0.3}) {
        for (auto& p : players) {
            const double len = p->selectionEnd();
            p->setSelectionStart(at * len);
            p->setSelectionEnd(at * len + 3);
            p->setCurrentPosition(at * len);
        }
        run(1.0);
    }
    for (auto& p : players)
        if (p->playState() != sorvane::PlayerCore::Playing) return 2;
    const long peak = statusKb("VmHWM:");
    const double mb = (peak - idle) / 1024.0;
    bench::figure(quick ? "memory, four 1-min MP3 playing (quick)"
                        : "memory, four 20-min MP3 playing",
                  QStringLiteral("%1 MB above idle (peak %2 MB)")
                      .arg(mb, 0, 'f', 1)
                      .arg(peak / 1024.0, 0, 'f', 1),
                  "<= 150 MB", mb <= 150);
    return mb <= 150 ? 0 : 1;
}
