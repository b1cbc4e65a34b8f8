#include "Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

namespace sorvane {

namespace {
// "Desc (*.a)|*.a;*.b|Other|*.c" -> "Desc (*.a) (*.a *.b);;Other (*.c)"
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

// Qt's file dialog reads a typed name that holds a double quote as a list of quoted names
// ("a" "b"), so a file or folder whose name holds one could not be typed: an open dialog
// looked for the part between the quotes, and a save dialog saved under it (Act "1" was saved
// as 1). Here a typed text that names an existing folder as a whole opens it; in an open dialog
// one that names an existing file as a whole is that file; in a save dialog the whole text is
// the name, unless it is one name in quotes and nothing else.
class FileDialog final : public QFileDialog {
public:
    FileDialog(QWidget* parent, const QString& title, const QString& filter)
        : QFileDialog(parent, title, QString(), filter) {}

    // The file taken as a whole typed name, else empty.
    const QString& typedFile() const { return typedFile_; }

    void accept() override {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text() : QString();
        if (typed.contains(QLatin1Char('"'))) {
            const QFileInfo whole(directory(), typed);
            if (whole.isDir()) {
                setDirectory(whole.absoluteFilePath());
                edit->clear();
                return;
            }
            if (fileMode() == ExistingFile && whole.isFile()) {
                typedFile_ = whole.absoluteFilePath();
                QDialog::accept();
                return;
            }
            if (acceptMode() == AcceptSave && !OneQuotedName(typed)) {
                AcceptSaved(whole);
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    static bool OneQuotedName(const QString& typed) {
        return typed.size() > 1 && typed.startsWith(QLatin1Char('"')) &&
               typed.endsWith(QLatin1Char('"')) && typed.count(QLatin1Char('"')) == 2;
    }

    // The typed name with the default extension when it has none, asked about before an
    // existing file is replaced.
    void AcceptSaved(const QFileInfo& typed) {
        QString path = typed.absoluteFilePath();
        if (typed.suffix().isEmpty() && !defaultSuffix().isEmpty())
            path += QLatin1Char('.') + defaultSuffix();
        const QFileInfo target(path);
        if (target.isDir()) return;
        if (target.exists() && !testOption(DontConfirmOverwrite)) {
            const auto answer = QMessageBox::warning(
                this, windowTitle(),
                QStringLiteral("%1 already exists.\nDo you want to replace it?")
                    .arg(target.fileName()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes) return;
        }
        typedFile_ = path;
        QDialog::accept();
    }

    QString typedFile_;
};

FileDialog* MakeDialog(QWidget* parent, const FileDialogRequest& r, QFileDialog::AcceptMode mode) {
    auto* d = new FileDialog(parent, r.title, QtFilter(r.filter));
    d->setAcceptMode(mode);
    d->setDefaultSuffix(r.defaultExt);
    if (!r.fileName.isEmpty()) d->selectFile(r.fileName);
    d->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                   : QFileDialog::AnyFile);
    return d;
}

FileDialogResult RunDialog(FileDialog* d) {
    FileDialogResult result;
    if (d->exec() == QDialog::Accepted) {
        result.fileName = d->typedFile();
        if (result.fileName.isEmpty() && !d->selectedFiles().isEmpty())
            result.fileName = d->selectedFiles().constFirst();
        result.accepted = !result.fileName.isEmpty();
    }
    delete d;
    return result;
}
} // namespace

FileDialogResult QtDialogs::openFile(QWidget* parent, const FileDialogRequest& request) {
    return RunDialog(MakeDialog(parent, request, QFileDialog::AcceptOpen));
}

FileDialogResult QtDialogs::saveFile(QWidget* parent, const FileDialogRequest& request) {
    return RunDialog(MakeDialog(parent, request, QFileDialog::AcceptSave));
}

MsgResult QtDialogs::messageBox(QWidget* parent, const QString& text, const QString& title,
                                MsgButtons buttons, MsgIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::Critical:
        qicon = QMessageBox::Critical;
        break;
    case MsgIcon::Question:
        qicon = QMessageBox::Question;
        break;
    case MsgIcon::Exclamation:
        qicon = QMessageBox::Warning;
        break;
    case MsgIcon::Information:
        qicon = QMessageBox::Information;
        break;
    case MsgIcon::None:
        break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    switch (buttons) {
    case MsgButtons::OK:
        set = QMessageBox::Ok;
        break;
    case MsgButtons::OKCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MsgButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        break;
    case MsgButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    }
    QMessageBox box(qicon, title, text, set, parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        return MsgResult::OK;
    }
}

FileDialogResult ScriptedDialogs::nextFile(Call::Kind kind, const FileDialogRequest& request) {
    calls_.append({kind, request.fileName, request.title, MsgButtons::OK, MsgIcon::None});
    FileDialogResult r;
    if (!files_.isEmpty()) r.fileName = files_.takeFirst();
    r.accepted = !r.fileName.isEmpty();
    return r;
}

FileDialogResult ScriptedDialogs::openFile(QWidget*, const FileDialogRequest& request) {
    return nextFile(Call::Open, request);
}

FileDialogResult ScriptedDialogs::saveFile(QWidget*, const FileDialogRequest& request) {
    return nextFile(Call::Save, request);
}

MsgResult ScriptedDialogs::messageBox(QWidget*, const QString& text, const QString& title,
                                      MsgButtons buttons, MsgIcon icon) {
    calls_.append({Call::Message, text, title, buttons, icon});
    if (onMessage) onMessage();
    if (!answers_.isEmpty()) return answers_.takeFirst();
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::Yes;
    default:
        return MsgResult::OK;
    }
}

} // namespace sorvane
