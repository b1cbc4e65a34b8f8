#pragma once

// Every modal window the program shows goes through this interface, so that tests can
// answer in place of an operator and never block on a dialog.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace sorvane {

struct FileDialogRequest {
    QString title;      // "Open Show"
    QString filter;     // "Sorvane Show (*.cue)|*.cue" (description|patterns pairs)
    QString defaultExt; // "cue"
    QString fileName;   // the name the dialog starts from
};

// An empty fileName means the operator cancelled.
struct FileDialogResult {
    bool accepted = false;
    QString fileName;
};

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgResult { OK, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual FileDialogResult openFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual MsgResult messageBox(QWidget* parent, const QString& text, const QString& title,
                                 MsgButtons buttons, MsgIcon icon) = 0;
};

// The real dialogs of the desktop.
class QtDialogs final : public Dialogs {
public:
    FileDialogResult openFile(QWidget* parent, const FileDialogRequest& request) override;
    FileDialogResult saveFile(QWidget* parent, const FileDialogRequest& request) override;
    MsgResult messageBox(QWidget* parent, const QString& text, const QString& title,
                         MsgButtons buttons, MsgIcon icon) override;
};

// Answers from a script, for tests: queued answers are used in order; with none queued a
// file dialog is cancelled and a message box answers with its first button. Every call is
// recorded.
class ScriptedDialogs final : public Dialogs {
public:
    struct Call {
        enum Kind { Open, Save, Message } kind;
        QString text; // message text, or the file dialog's starting file name
        QString title;
        MsgButtons buttons = MsgButtons::OK;
        MsgIcon icon = MsgIcon::None;
    };

    void queueFile(const QString& fileName) { files_.append(fileName); } // "" = Cancel
    void queueAnswer(MsgResult r) { answers_.append(r); }
    const QList<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    // Runs inside a message box, as if the operator looked at it (may be empty).
    std::function<void()> onMessage;

    FileDialogResult openFile(QWidget* parent, const FileDialogRequest& request) override;
    FileDialogResult saveFile(QWidget* parent, const FileDialogRequest& request) override;
    MsgResult messageBox(QWidget* parent, const QString& text, const QString& title,
                         MsgButtons buttons, MsgIcon icon) override;

private:
    FileDialogResult nextFile(Call::Kind kind, const FileDialogRequest& request);
    QStringList files_;
    QList<MsgResult> answers_;
    QList<Call> calls_;
};

} // namespace sorvane
