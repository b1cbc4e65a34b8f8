#pragma once

// Makes a registered show file type known to the Linux desktop the freedesktop way, in the
// user's own folders only: a MIME type for the extension, a desktop entry whose command opens
// the program with the file, the icon, and the default association. Files of the system or
// of other programs are never touched or removed.

#include <QByteArray>
#include <QString>
#include <optional>

namespace sorvane {

struct DesktopFileType {
    QString extension;   // "cue"
    QString typeName;    // "sorvane": names the desktop entry, the MIME package and the icon
    QString description; // "Sorvane Show"
    QString iconFile;    // the icon file the registration names (may be empty)
    QString program;     // the program file its open command runs
};

// What the registry store holds for the extension after a registration; nothing when the
// extension has no type or the type has no open command.
std::optional<DesktopFileType> DesktopFileTypeFromRegistry(const QString& extension);

// The MIME type name given to the type: "application/x-sorvane-show".
QString DesktopMimeType(const DesktopFileType& type);

// The desktop entry's command line for the program, quoted by the desktop entry rules.
QString DesktopExecLine(const QString& program);

// The user's association list with the MIME type's default application and its added
// associations led by the desktop entry; every other line stays as it was.
QByteArray SetMimeAppsEntry(const QByteArray& existing, const QString& mime,
                            const QString& desktopId);

// Writes the MIME package, the desktop entry, the icon and the default association into
// $XDG_DATA_HOME and $XDG_CONFIG_HOME (or their defaults) and refreshes the user's MIME and
// desktop caches when their tools are present. Does nothing, and returns false, when the
// program file does not exist, so that no entry ever names a missing program. Files that
// already hold what would be written are left as they are.
bool PublishDesktopFileType(const DesktopFileType& type, QString* error = nullptr);

} // namespace sorvane
