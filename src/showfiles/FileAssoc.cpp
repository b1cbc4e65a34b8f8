#include "FileAssoc.h"

namespace sorvane {

void UnregisterFileType(const QString&) {}
void RegisterFileType(const QString&, const QString&, const QString&, const QString&, const QString&) {}

} // namespace sorvane
