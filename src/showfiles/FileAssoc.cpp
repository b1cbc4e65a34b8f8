#include "FileAssoc.h"

#include "DesktopRegistration.h"
#include "core/Module1.h"
#include "platform/registry/Registry.h"

namespace sorvane {

using namespace registry;

namespace {
HKEY RootFromText(const QString& root) {
    return static_cast<HKEY>(root.toULongLong());
}

// A key below a root: parts joined with the registry's own separator.
QString KeyPath(const QString& a, const QString& b) {
    return a + QLatin1Char('\\') + b;
}

// Blanks removed at both ends (blanks only, as the buffer is filled with blanks).
QString TrimBlanks(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == QLatin1Char(' '))
        ++b;
    while (e > b && s[e - 1] == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}
} // namespace

QString ClassesRootText() {
    return QString::number(HKEY_CLASSES_ROOT);
}

QString RegGetString(const QString& root, const QString& key, const QString& valueName,
                     const QString& defaultValue) {
    constexpr int kBufferChars = 255;
    QString buffer(kBufferChars, QLatin1Char(' '));
    Registry reg;
    HKEY h = 0;
    if (reg.RegOpenKeyEx(RootFromText(root), key, KEY_READ, &h) == ERROR_SUCCESS) {
        QString value;
        if (reg.RegQueryValueEx(h, valueName, &value, kBufferChars) == ERROR_SUCCESS) {
            // The text and its terminating NUL at the start of the buffer.
            buffer.replace(0, value.size() + 1, value + QChar(u'\0'));
        }
    }
    reg.RegCloseKey(h);
    const QString trimmed = TrimBlanks(buffer);
    if (trimmed.isEmpty()) return defaultValue;
    return trimmed.left(trimmed.size() - 1);
}

long RegSetString(const QString& root, const QString& key, const QString& valueName,
                  const QString& value) {
    Registry reg;
    HKEY h = 0;
    long status = reg.RegCreateKey(RootFromText(root), key, &h);
    if (status == ERROR_SUCCESS) {
        status = reg.RegSetValue(h, valueName, REG_SZ, value);
        reg.RegCloseKey(h);
    }
    return status;
}

long DeleteRegKey(const QString& root, const QString& key) {
    Registry reg;
    HKEY h = 0;
    long status = reg.RegOpenKeyEx(RootFromText(root), key, KEY_WRITE, &h);
    if (status == ERROR_SUCCESS) {
        status = reg.RegDeleteKey(h, QString());
        reg.RegCloseKey(h);
    }
    return status;
}

void UnregisterFileType(const QString& extension) {
    const QString root = ClassesRootText();
    const QString extKey = QLatin1Char('.') + extension;
    const QString owner = RegGetString(root, extKey, QString(), QString());
    if (!owner.isEmpty()) {
        DeleteRegKey(root, extKey);
        DeleteRegKey(root, owner);
    }
}

void RegisterFileType(const QString& extension, const QString& folder, const QString& typeName,
                      const QString& description, const QString& iconPath) {
    const QString root = ClassesRootText();
    QString appFolder = folder;
    if (!appFolder.endsWith(PathSeparator)) appFolder += PathSeparator;
    RegSetString(root, QLatin1Char('.') + extension, QString(), typeName);
    RegSetString(root, typeName, QString(), description);
    if (!iconPath.isEmpty())
        RegSetString(root, KeyPath(typeName, QStringLiteral("DefaultIcon")), QString(),
                     iconPath + QStringLiteral(",0"));
    // The program file is the type's name in the application folder.
    const QString command =
        QLatin1Char('"') + appFolder + typeName + QLatin1Char('"') + QStringLiteral(" %1");
    RegSetString(root, KeyPath(typeName, QStringLiteral("shell\\open\\command")), QString(),
                 command);

    // The desktop learns the type from what the store holds now.
    if (const auto type = DesktopFileTypeFromRegistry(extension)) PublishDesktopFileType(*type);
}

} // namespace sorvane
