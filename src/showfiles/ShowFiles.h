#pragma once

// The show file commands and the text and database show files.

#include <QObject>
#include <QString>

namespace sorvane {

class CueListEditor;
class Shell;

class ShowFiles : public QObject {
    Q_OBJECT
public:
    ShowFiles(Shell& shell, CueListEditor& cues, QObject* parent);

    void LoadShow(const QString& strFilename);
    void SaveShow();
    void LoadShow_Old(const QString& strFilename);

private:
    Shell& shell_;
    CueListEditor& cues_;
};

} // namespace sorvane
