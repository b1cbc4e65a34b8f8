#include "Dialogs.h"

#include <QFileDialog>
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

QFileDialog* MakeDialog(QWidget* parent, const FileDialogRequest& r, QFileDialog::AcceptMode mode) {
    auto* d = new QFileDialog(parent, r.title, QString(), QtFilter(r.filter));
    d->setAcceptMode(mode);
    d->setDefaultSuffix(r.defaultExt);
    if (!r.fileName.isEmpty()) d->selectFile(r.fileName);
    d->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                   : QFileDialog::AnyFile);
    return d;
}

FileDialogResult RunDialog(QFileDialog* d) {
    FileDialogResult result;
    if (d->exec() == QDialog::Accepted && !d->selectedFiles().isEmpty()) {
        result.accepted = true;
        result.fileName = d->selectedFiles().constFirst();
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
