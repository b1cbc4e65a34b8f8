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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

void Wait(double Seconds, const std::function<bool()>& ended) {
    QElapsedTimer clock; // monotonic
    clock.start();
    const qint64 total = static_cast<qint64>(std::ceil(Seconds * 1000.0));
    do {
        PumpEvents(total - clock.elapsed());
        if (ended && ended()) return;
    } while (clock.elapsed() < total);
}

void DelayWithStatus(StatusLine& status, double Seconds, const std::function<bool()>& ended) {
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
        if (ShowHalted || (ended && ended())) return;
        if (clock.elapsed() >= total) return;
    }
}

QString DecodeFileName(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += QChar(b);
            ++i;
            continue;
        }
        // The length of a well-formed sequence that starts with `b`, and its smallest value.
        int len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
            min = 0x10000;
        }
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        ok = ok && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!ok) {
            // A byte that starts no character is kept as a lone low surrogate of its own.
            out += QChar(static_cast<char16_t>(0xDC00 + b));
            ++i;
            continue;
        }
        out += QString::fromUcs4(&cp, 1);
        i += len;
    }
    return out;
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart) out += QStringView(name).mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        const bool pairedLow = i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode());
        if (c >= 0xDC80 && c <= 0xDCFF && !pairedLow) {
            flush(i);
            out += static_cast<char>(c - 0xDC00);
            runStart = i + 1;
        }
    }
    flush(n);
    return out;
}

bool FileExists(const QString& Path) {
    if (Path.isEmpty()) return false;
    const QByteArray native = EncodeFileName(Path);
    // Only a regular file counts; a pipe or a device is never opened, as opening one could
    // wait for a writer or start a device.
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

QString FindMediaFile(const QString& File) {
    if (File.isEmpty() || File == QLatin1String("0")) return QString();
    if (!File.startsWith(PathSeparator) && !ShowFolder.isEmpty()) {
        const QString inShowFiles = ShowFolder + QStringLiteral("ShowFiles") + PathSeparator + File;
        if (FileExists(inShowFiles)) return inShowFiles;
    }
    return FileExists(File) ? File : QString();
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
    const QString override = qEnvironmentVariable("SORVANE_APP_DIR");
    return override.isEmpty() ? QCoreApplication::applicationDirPath() : override;
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
