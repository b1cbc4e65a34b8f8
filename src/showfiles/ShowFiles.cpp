#include "ShowFiles.h"

namespace sorvane {

ShowFiles::ShowFiles(Shell& shell, CueListEditor& cues, QObject* parent)
    : QObject(parent), shell_(shell), cues_(cues) {}

void ShowFiles::LoadShow(const QString&) {}
void ShowFiles::SaveShow() {}
void ShowFiles::LoadShow_Old(const QString&) {}

} // namespace sorvane
