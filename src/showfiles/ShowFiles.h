#pragma once

// The show file commands (Load, Save, Create New, Load Old), the text show file's save with
// the gathering of the show's media into "ShowFiles", and the two loaders.

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

namespace sorvane {

class CueListEditor;
class GatherTask;
struct GatherResult;
class Form3;
class Shell;
struct FileDialogRequest;

class ShowFiles : public QObject {
    Q_OBJECT
public:
    ShowFiles(Shell& shell, CueListEditor& cues, QObject* parent);

    // Replaces the show with the rows of a text show file.
    void LoadShow(const QString& strFilename);
    // Asks for a file name, gathers the media into its "ShowFiles" folder and writes the show.
    void SaveShow();
    // Replaces the show with the rows of an older database show file.
    void LoadShow_Old(const QString& strFilename);

    // The commands of the frame's buttons.
    void cmdLoadShow_Click();
    void cmdSave_Click();
    void Command1_Click(); // "Create New"
    void Command7_Click(); // "Load Old"

    // The file name the show file dialog `CMDialog1` holds: the name of its last use.
    QString CMDialog1FileName;
    // The saving window while a save runs.
    Form3* form3() const;
    bool isSaving() const { return saving_; }
    // The pause, in seconds, after the saving window appears and before the media pass.
    double savePause = 0.5;

private:
    FileDialogRequest CMDialog1() const;
    void LoadCommand(bool old);
    void FinishLoad();
    void SetCommandsEnabled(bool enabled);
    // Lets events run until the media task ends, and gives its result; a Cancel of the save
    // stops the task and gives Canceled.
    GatherResult AwaitGather(const std::shared_ptr<GatherTask>& task);

    Shell& shell_;
    CueListEditor& cues_;
    QPointer<Form3> form3_;
    bool saving_ = false;
};

} // namespace sorvane
