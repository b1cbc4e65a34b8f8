#include "Module1.h"

#include "Palette.h"
#include "StatusLine.h"
#include "StoredValue.h"
#include "platform/VersionProbe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <cmath>

namespace sorvane {

namespace {
// One pass of the waits: run what is pending, then sleep until the next event, a timer
// or `maxMs`, whichever comes first, so that a long wait does not spin a core.
void PumpEvents(qint64 maxMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (maxMs <= 0) return;
    QTimer wake; // its tick ends the sleep below at the latest
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::min<qint64>(maxMs, 5)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
} // namespace

void Wait(double Seconds) {
    QElapsedTimer clock; // monotonic
    clock.start();
    const qint64 total = static_cast<qint64>(std::ceil(Seconds * 1000.0));
    do {
        PumpEvents(total - clock.elapsed());
    } while (clock.elapsed() < total);
}

void DelayWithStatus(StatusLine& status, double Seconds) {
    status.ShowStatus(QStringLiteral("Delaying:  "), 1);
    QElapsedTimer clock;
    clock.start();
    const qint64 total = static_cast<qint64>(std::ceil(Seconds * 1000.0));
    double lastShown = 0;
    for (;;) {
        PumpEvents(std::min<qint64>(10, total - clock.elapsed()));
        const double shown = std::round(clock.nsecsElapsed() / 1e7) / 100.0;
        if (shown != lastShown) {
            lastShown = shown;
            status.writeDirect(QStringLiteral("Delaying:  ") + DecimalText(shown), kYellow);
        }
        if (ShowHalted) return;
        if (clock.elapsed() >= total) return;
    }
}

bool FileExists(const QString& Path) {
    if (Path.isEmpty()) return false;
    QFileInfo info(Path);
    if (info.isDir()) return false;
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    f.close();
    return true;
}

QString GetFolder(const QString& Path) {
    const qsizetype i = Path.lastIndexOf(PathSeparator);
    return i < 0 ? QString() : Path.left(i + 1);
}

QString GetFileName(const QString& Path) {
    const qsizetype i = Path.lastIndexOf(PathSeparator);
    return i < 0 ? Path : Path.mid(i + 1);
}

QString TrimFilename(const QString& tmpFilename) {
    return GetFileName(tmpFilename);
}

QString GetExtension(const QString& Path) {
    const qsizetype i = Path.lastIndexOf(QLatin1Char('.'));
    return (i < 0 ? Path : Path.mid(i + 1)).toLower();
}

QString ApplicationFolder() {
    return QCoreApplication::applicationDirPath();
}

QString WindowsVersionName(const std::optional<VersionRecord>& record) {
    if (!record) return QStringLiteral("Unable To get Windows Version");
    const auto& r = *record;
    switch (r.platformId) {
    case 1:
        if (r.minor < 10) return r.build == 950 ? "Windows 95" : "Windows 95 SP1";
        if (r.minor == 10) return r.build == 1998 ? "Windows 98" : "Windows 98 SP1";
        return QStringLiteral("Windows ME");
    case 2:
        if (r.major == 3) return QStringLiteral("Windows NT 3.51");
        if (r.major == 4) return QStringLiteral("Windows NT 4.0");
        if (r.major == 5) return r.minor == 0 ? "Windows 2000" : "Windows XP";
        return QString();
    case 3:
        if (r.major == 1) return QStringLiteral("Windows CE 1.0");
        if (r.major == 2) return r.minor == 0 ? "Windows CE 2.0" : "Windows CE 2.1";
        return QStringLiteral("Windows CE 3.0");
    default:
        return QStringLiteral("Unable To get Windows Version");
    }
}

QString GetWindowsVersion() {
    return WindowsVersionName(QueryPlatformVersion());
}

void SetTopmost(QWidget* window, std::int16_t onTop) {
    if (!window) return;
    if (onTop != -1 && onTop != 0) {
        window->raise();
        return;
    }
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop == -1);
    if (visible) window->show(); // changing the flags hides a window; keep it where it was
    window->raise();
}

} // namespace sorvane
