// Edit: opens the position-marker editor on the selected cue's media file.

#include "MediaCommands.h"

#include "Form5.h"
#include "MediaFields.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StoredValue.h"
#include "platform/Dialogs.h"
#include "platform/engine/MediaPlayer.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace sorvane {

void MediaCommands::Command6_Click() {
    // 1. the file as playback finds it
    const QString named = fields_.FileText();
    const QString path = FindMediaFile(named);
    // 2.
    if (!path.isEmpty()) {
        // The editor lives for this command only; it is deleted once the command has ended.
        auto* form = new Form5(engine_, fields_, window_);
        form->cue = fields_.SelectedCue();
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        form5_ = form;
        form->show(); // its activation draws nothing yet: the player is empty
        form->MediaPlayer1->setFileName(path);
        if (!form->MediaPlayer1->FileName().isEmpty()) {
            form->Label2->setText(named);
            form->MediaPlayer1->setSelectionStart(0);
            MediaLength = form->MediaPlayer1->SelectionEnd();
            // A marker field that is not a number is taken as 0.
            form->MediaPlayer1->setSelectionStart(ReadNumber(fields_.StartPosText()).value_or(0));
            form->MediaPlayer1->setSelectionEnd(ReadNumber(fields_.EndPosText()).value_or(0));
            form->Label4->setText(DecimalText(RoundHalfEven(MediaLength, 3)) +
                                  QStringLiteral(" s"));
            form->SetMarkers();
            // Shown again as a modal window; its activation draws the waveform. The main
            // window's timers and running cues go on while the command waits here.
            form->hide();
            form->setWindowModality(Qt::ApplicationModal);
            form->show();
            form->raise();
            form->activateWindow();
            form->Text1->setFocus(Qt::OtherFocusReason); // "[" and "]" work from the start
            QEventLoop loop;
            connect(form, &Form5::unloaded, &loop, &QEventLoop::quit);
            if (onEditorShown) {
                QTimer::singleShot(0, form, [this, form] {
                    if (!form->isUnloaded()) onEditorShown(*form);
                });
            }
            if (!form->isUnloaded()) loop.exec();
            form->deleteLater();
            return;
        }
        // The player did not take the file: the editor is closed before the message, so that
        // nothing of it can write into the cue.
        form->Unload();
        form->deleteLater();
    }
    // 3.
    shell_.dialogs().messageBox(window_, kNoMediaText, QStringLiteral("Sorvane"), MsgButtons::OK,
                                MsgIcon::None);
}

} // namespace sorvane
