#pragma once

// Registration of the show file type.

#include <QString>

namespace sorvane {

void UnregisterFileType(const QString& extension);
void RegisterFileType(const QString& extension, const QString& folder, const QString& typeName,
                      const QString& description, const QString& iconPath);

} // namespace sorvane
