#include "DesktopRegistration.h"

#include "FileAssoc.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>
#include <functional>

namespace sorvane {

namespace {

enum class WriteResult { Unchanged, Written, Failed };

// Writes the bytes unless the file already holds them; replaces the file only when the new
// content is written whole.
WriteResult WriteIfChanged(const QString& path, const QByteArray& bytes, QString* error) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == bytes.size() &&
        existing.readAll() == bytes)
        return WriteResult::Unchanged;
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = QStringLiteral("cannot create the folder of ") + path;
        return WriteResult::Failed;
    }
    QSaveFile f(path);
    // Unbuffered, so that a write cut short shows in what write() returns.
    bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 done = 0; ok && done < bytes.size();) {
        const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
        ok = n > 0;
        done += n;
    }
    if (!ok || !f.commit()) {
        if (error) *error = path + QStringLiteral(": ") + f.errorString();
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

QString DataHome() {
    QString d = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return d.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : d;
}

QString ConfigHome() {
    QString d = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return d.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : d;
}

// Runs a cache tool on a folder of the user's, if the tool is installed; never waits long.
void RunCacheTool(const QString& tool, const QString& folder) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) return;
    QProcess p;
    p.setProgram(exe);
    p.setArguments({folder});
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForStarted(5000)) return;
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
    }
}

// A name usable as a file name and MIME sub-type: lower case letters, digits, "-", ".", "+".
QString SafeName(const QString& s) {
    QString out;
    for (QChar c : s.toLower())
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
            c == QLatin1Char('.') || c == QLatin1Char('+'))
            out += c;
    return out;
}

// A value for a desktop entry key: the escapes of the entry format.
QString EntryValue(const QString& s) {
    QString out;
    for (QChar c : s) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QByteArray MimePackage(const DesktopFileType& t, const QString& iconName) {
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("mime-info"));
    w.writeDefaultNamespace(
        QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
    w.writeStartElement(QStringLiteral("mime-type"));
    w.writeAttribute(QStringLiteral("type"), DesktopMimeType(t));
    w.writeTextElement(QStringLiteral("comment"), t.description);
    if (!iconName.isEmpty()) {
        w.writeEmptyElement(QStringLiteral("icon"));
        w.writeAttribute(QStringLiteral("name"), iconName);
    }
    w.writeEmptyElement(QStringLiteral("sub-class-of"));
    w.writeAttribute(QStringLiteral("type"), QStringLiteral("text/plain"));
    // Above the default weight of 50, so that the shows win over other types of the same
    // extension that the system may know.
    w.writeEmptyElement(QStringLiteral("glob"));
    w.writeAttribute(QStringLiteral("pattern"), QStringLiteral("*.") + t.extension.toLower());
    w.writeAttribute(QStringLiteral("weight"), QStringLiteral("80"));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return bytes;
}

QByteArray DesktopEntry(const DesktopFileType& t, const QString& iconName) {
    QString name = t.typeName;
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    QStringList lines;
    lines << QStringLiteral("[Desktop Entry]") << QStringLiteral("Type=Application")
          << QStringLiteral("Version=1.0") << QStringLiteral("Name=") + EntryValue(name)
          << QStringLiteral("Comment=") + EntryValue(t.description)
          << QStringLiteral("Exec=") + DesktopExecLine(t.program);
    if (!iconName.isEmpty()) lines << QStringLiteral("Icon=") + EntryValue(iconName);
    lines << QStringLiteral("Terminal=false")
          << QStringLiteral("MimeType=") + DesktopMimeType(t) + QLatin1Char(';')
          << QStringLiteral("Categories=AudioVideo;Audio;");
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

// The icon as a square PNG picture in one of the theme's standard sizes.
QImage ThemeIcon(const DesktopFileType& t) {
    QImage best;
    QStringList candidates;
    if (!t.iconFile.isEmpty()) {
        const QFileInfo fi(t.iconFile);
        candidates << fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() +
                          QStringLiteral(".png")
                   << t.iconFile;
    }
    for (const QString& c : candidates) {
        if (!QFileInfo(c).isFile()) continue;
        QImageReader r(c);
        do {
            const QImage img = r.read();
            if (!img.isNull() && img.width() * img.height() > best.width() * best.height())
                best = img;
        } while (r.jumpToNextImage());
        if (!best.isNull()) break;
    }
    if (best.isNull()) return best;
    static constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 96, 128, 256, 512};
    const int side = std::max(best.width(), best.height());
    for (int s : kSizes)
        if (best.width() == s && best.height() == s) return best;
    int target = 256;
    for (int s : kSizes)
        if (s <= side) target = s;
    QImage square(target, target, QImage::Format_ARGB32);
    square.fill(Qt::transparent);
    QPainter p(&square);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage scaled =
        best.scaled(target, target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage((target - scaled.width()) / 2, (target - scaled.height()) / 2, scaled);
    p.end();
    return square;
}

} // namespace

QByteArray SetMimeAppsEntry(const QByteArray& existing, const QString& mime,
                            const QString& desktopId) {
    QStringList lines = QString::fromUtf8(existing).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();

    // Sets `mime` in the section: `value` gives the new value from the old one (empty when
    // the key is new). A missing section is added at the end.
    auto upsert = [&](const QString& section, const std::function<QString(const QString&)>& value) {
        const QString header = QLatin1Char('[') + section + QLatin1Char(']');
        qsizetype start = -1;
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].trimmed() == header) {
                start = i;
                break;
            }
        if (start < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
            lines << header << mime + QLatin1Char('=') + value(QString());
            return;
        }
        qsizetype end = start + 1; // one past the section's last line
        while (end < lines.size() && !lines[end].trimmed().startsWith(QLatin1Char('[')))
            ++end;
        for (qsizetype i = start + 1; i < end; ++i) {
            const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
            if (eq < 0 || lines[i].left(eq).trimmed() != mime) continue;
            lines[i] = mime + QLatin1Char('=') + value(lines[i].mid(eq + 1).trimmed());
            return;
        }
        // After the section's last non-empty line.
        qsizetype at = end;
        while (at > start + 1 && lines[at - 1].trimmed().isEmpty())
            --at;
        lines.insert(at, mime + QLatin1Char('=') + value(QString()));
    };
    upsert(QStringLiteral("Default Applications"), [&](const QString&) { return desktopId; });
    upsert(QStringLiteral("Added Associations"), [&](const QString& old) {
        QStringList ids{desktopId};
        for (const QString& id : old.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (id.trimmed() != desktopId) ids << id.trimmed();
        return ids.join(QLatin1Char(';')) + QLatin1Char(';');
    });
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString DesktopMimeType(const DesktopFileType& type) {
    return QStringLiteral("application/x-") + SafeName(type.typeName) + QStringLiteral("-show");
}

QString DesktopExecLine(const QString& program) {
    // The program in double quotes, with the characters special inside them escaped; then
    // the entry format's own escaping of backslashes; "%" doubled for the field codes.
    QString quoted = QStringLiteral("\"");
    for (QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return EntryValue(quoted) + QStringLiteral(" %f");
}

std::optional<DesktopFileType> DesktopFileTypeFromRegistry(const QString& extension) {
    const QString root = ClassesRootText();
    DesktopFileType t;
    t.extension = extension;
    t.typeName = RegGetString(root, QLatin1Char('.') + extension, QString(), QString());
    if (t.typeName.isEmpty() || SafeName(t.typeName).isEmpty()) return std::nullopt;
    t.description = RegGetString(root, t.typeName, QString(), QString());
    QString icon =
        RegGetString(root, t.typeName + QStringLiteral("\\DefaultIcon"), QString(), QString());
    const qsizetype comma = icon.lastIndexOf(QLatin1Char(','));
    if (comma >= 0) {
        bool isIndex = false;
        icon.mid(comma + 1).toInt(&isIndex);
        if (isIndex) icon.truncate(comma);
    }
    t.iconFile = icon;
    const QString command = RegGetString(
        root, t.typeName + QStringLiteral("\\shell\\open\\command"), QString(), QString());
    if (command.startsWith(QLatin1Char('"'))) {
        const qsizetype end = command.indexOf(QLatin1Char('"'), 1);
        if (end < 0) return std::nullopt;
        t.program = command.mid(1, end - 1);
    } else {
        t.program = command.section(QLatin1Char(' '), 0, 0);
    }
    if (t.program.isEmpty()) return std::nullopt;
    return t;
}

bool PublishDesktopFileType(const DesktopFileType& t, QString* error) {
    const QFileInfo program(t.program);
    if (!program.isFile() || !program.isExecutable()) {
        if (error) *error = QStringLiteral("no program at ") + t.program;
        return false;
    }
    for (QChar c : t.program + t.description)
        if (c.unicode() < 0x20) {
            if (error) *error = QStringLiteral("control characters in the registration");
            return false;
        }
    const QString name = SafeName(t.typeName);
    const QString data = DataHome();
    bool ok = true;

    // The icon, by the type's name in the user's icon theme folder.
    QString iconName;
    const QImage icon = ThemeIcon(t);
    if (!icon.isNull()) {
        QByteArray png;
        {
            QBuffer buf(&png);
            buf.open(QIODevice::WriteOnly);
            icon.save(&buf, "PNG");
        }
        const QString path = data + QStringLiteral("/icons/hicolor/%1x%1/apps/").arg(icon.width()) +
                             name + QStringLiteral(".png");
        if (WriteIfChanged(path, png, error) == WriteResult::Failed)
            ok = false;
        else
            iconName = name;
    }

    const WriteResult mime =
        WriteIfChanged(data + QStringLiteral("/mime/packages/") + name + QStringLiteral(".xml"),
                       MimePackage(t, iconName), error);
    if (mime == WriteResult::Failed) ok = false;
    if (mime == WriteResult::Written ||
        (mime == WriteResult::Unchanged &&
         !QFileInfo::exists(data + QStringLiteral("/mime/mime.cache"))))
        RunCacheTool(QStringLiteral("update-mime-database"), data + QStringLiteral("/mime"));

    const QString desktopId = name + QStringLiteral(".desktop");
    const WriteResult entry = WriteIfChanged(data + QStringLiteral("/applications/") + desktopId,
                                             DesktopEntry(t, iconName), error);
    if (entry == WriteResult::Failed) ok = false;
    if (entry == WriteResult::Written)
        RunCacheTool(QStringLiteral("update-desktop-database"),
                     data + QStringLiteral("/applications"));

    const QString listPath = ConfigHome() + QStringLiteral("/mimeapps.list");
    QByteArray list;
    {
        QFile f(listPath);
        if (f.exists()) {
            if (!f.open(QIODevice::ReadOnly)) {
                // An existing list we cannot read is left alone rather than replaced.
                if (error) *error = listPath + QStringLiteral(": ") + f.errorString();
                return false;
            }
            list = f.readAll();
        }
    }
    if (WriteIfChanged(listPath, SetMimeAppsEntry(list, DesktopMimeType(t), desktopId), error) ==
        WriteResult::Failed)
        ok = false;
    return ok;
}

} // namespace sorvane
