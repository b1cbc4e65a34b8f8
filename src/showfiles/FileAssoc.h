#pragma once

// Registration of the show file type: the extension, its type with description, icon and
// open command, kept in the program's registry store below HKEY_CLASSES_ROOT, and made known
// to the desktop from what the store then holds.

#include <QString>

namespace sorvane {

// Removes the type that owns the extension now, and the extension's own key.
void UnregisterFileType(const QString& extension);
// Maps the extension to the type, and gives the type its description, icon and open command.
void RegisterFileType(const QString& extension, const QString& folder, const QString& typeName,
                      const QString& description, const QString& iconPath);

// The registry routines. `root` is a root key as the decimal text of its handle value.
// The text of a value (empty name = the key's default value), or `defaultValue` when the
// key or the value is missing.
QString RegGetString(const QString& root, const QString& key, const QString& valueName,
                     const QString& defaultValue);
// Creates the key (and the keys on its path) and sets its default value; the status of the
// last registry call (0 = success).
long RegSetString(const QString& root, const QString& key, const QString& valueName,
                  const QString& value);
// Deletes the key itself (refused while it has sub-keys); the status of the last call.
long DeleteRegKey(const QString& root, const QString& key);

// HKEY_CLASSES_ROOT as the routines take it.
QString ClassesRootText();

} // namespace sorvane
