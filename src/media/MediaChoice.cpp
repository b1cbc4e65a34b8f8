// Browse: the choice of the selected cue's media file, with the offer to decode an MP3 file
// to WAV by the external decoder under the decoding window.

#include "MediaCommands.h"

#include "Form5.h"
#include "Form6.h"
#include "MediaFields.h"
#include "clsMP3.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StoredValue.h"
#include "platform/Dialogs.h"
#include "platform/engine/MediaPlayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

namespace sorvane {

MediaCommands::MediaCommands(Shell& shell, AudioEngine& engine, MediaFields& fields,
                             QWidget* window)
    : QObject(window), shell_(shell), engine_(engine), fields_(fields), window_(window) {
    DecoderPath = ApplicationFolder() + PathSeparator + QStringLiteral("lame");
    mpTemp_ = new MediaPlayer(engine_, window_);
    mpTemp_->setObjectName(QStringLiteral("mpTemp"));
    mpTemp_->setAutoStart(false);
    mpTemp_->hide();
}

MediaCommands::~MediaCommands() {
    // The players and windows go with the commands, before the engine and the fields.
    delete form5_.data();
    delete form6_.data();
    delete mpTemp_.data();
}

Form6* MediaCommands::decodingWindow() const {
    return form6_.data();
}

Form5* MediaCommands::editor() const {
    return form5_.data();
}

clsMP3& MediaCommands::MP3() {
    if (!mp3_) mp3_ = std::make_unique<clsMP3>();
    return *mp3_;
}

void MediaCommands::setMP3(std::unique_ptr<clsMP3> mp3) {
    mp3_ = std::move(mp3);
}

QString MediaCommands::DecodedName(const QString& source) {
    const QString folder = GetFolder(source);
    QString stem = GetFileName(source);
    const qsizetype dot = stem.indexOf(QLatin1Char('.'));
    if (dot >= 0) stem.truncate(dot);
    const QString wav = QStringLiteral(".wav");
    QString name = folder + stem + wav;
    // An existing file is never overwritten: the first free numbered name is taken.
    for (int k = 2; QFileInfo::exists(name); ++k)
        name = folder + stem + QStringLiteral(" (%1)").arg(k) + wav;
    return name;
}

void MediaCommands::cmdBrowse_Click() {
    // The cue the file is chosen for. The dialogs and the decoding let events run: a GO, a
    // click or an edit of the list meanwhile must not send the file into another cue.
    const CueRef cue = fields_.SelectedCue();
    // 1. the open dialog
    FileDialogRequest request;
    request.title = QStringLiteral("Open File");
    request.filter = kMediaFilter;
    const FileDialogResult chosen = shell_.dialogs().openFile(window_, request);
    if (!chosen.accepted || chosen.fileName.isEmpty()) return;
    // 2. the test player takes the file, or the command ends
    mpTemp_->setFileName(chosen.fileName);
    if (mpTemp_->FileName().isEmpty()) return;
    // 3. an MP3 file is offered the decoding
    if (GetExtension(mpTemp_->FileName()) == QLatin1String("mp3")) {
        const MsgResult answer =
            shell_.dialogs().messageBox(window_, kConvertQuestion, QStringLiteral("Select File"),
                                        MsgButtons::YesNo, MsgIcon::Question);
        if (answer == MsgResult::Yes && !Decode()) return;
    }
    // 11. the fields, in this order, each through its change handler; into the cue itself
    // when another one has been selected meanwhile
    const QString end = DecimalText(mpTemp_->SelectionEnd());
    const QString file = mpTemp_->FileName();
    switch (fields_.Locate(cue)) {
    case CuePlace::Selected:
        fields_.PutEndPos(end);
        fields_.PutStartPos(QStringLiteral("0"));
        fields_.PutFile(file);
        break;
    case CuePlace::Listed:
        fields_.StoreInCue(cue, file, QStringLiteral("0"), end);
        break;
    case CuePlace::Deleted:
        shell_.ShowStatus(kCueDeletedText + GetFileName(file), 1);
        return;
    case CuePlace::OtherShow:
        shell_.ShowStatus(kShowChangedText + GetFileName(file), 1);
        return;
    }
    // 12.
    fields_.ListView1_Click();
}

bool MediaCommands::Decode() {
    // One decoding at a time: a second one started inside the first's wait would take over
    // the decoder runner, and the first would load a file still being written.
    if (decoding_) {
        shell_.ShowStatus(kDecodingBusyText, 1);
        return false;
    }
    decoding_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{decoding_};
    // 4. source and destination
    const QString source = mpTemp_->FileName();
    const QString destination = DecodedName(source);
    // Cleared before the window can take a Cancel: a Cancel before the decoder has started
    // ends the decoding as well.
    ConvertCanceled = false;
    // 5. the decoding window, owned by the main window and topmost
    if (form6_) form6_->Unload();
    form6_ = new Form6(MP3(), window_);
    form6_->show();
    SetTopmost(form6_, -1);
    // 6.
    Wait(0.5);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // 8. the decoder: its path and the two file names as separate arguments, no shell
    clsMP3& mp3 = MP3();
    if (!ConvertCanceled) {
        if (mp3.StartApp(DecoderPath, {QStringLiteral("--decode"), source, destination}) != 0) {
            if (form6_) form6_->Unload();
            shell_.ShowStatus(QStringLiteral("Unable to start the MP3 decoder (") + DecoderPath +
                                  QStringLiteral(").  File cannot be loaded."),
                              2);
            return false;
        }
        // 9.
        mp3.WaitForAppToEnd();
        // The destination name was free before the decoder started, so whatever stands there
        // after a Cancel or a failure is the decoder's unfinished output: it goes, and the
        // next decoding of the same file gets the same name.
        if (ConvertCanceled) QFile::remove(destination);
    }
    // 10. a Cancel leaves the cue as it was
    if (ConvertCanceled) {
        shell_.ShowStatus(kConvertCanceledText, 1);
        return false;
    }
    if (window_) {
        window_->show();
        window_->raise();
    }
    if (form6_) form6_->Unload();
    const QString failed = QStringLiteral("Decoding of ") + GetFileName(source) +
                           QStringLiteral(" failed.  File cannot be loaded.");
    if (!mp3.AppSucceeded()) {
        QFile::remove(destination);
        shell_.ShowStatus(failed, 2);
        return false;
    }
    mpTemp_->setFileName(destination);
    if (mpTemp_->FileName().isEmpty()) {
        shell_.ShowStatus(failed, 2);
        return false;
    }
    return true;
}

} // namespace sorvane
