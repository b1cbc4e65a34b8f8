#include "Transport.h"

#include "Mixer.h"
#include "Playback.h"
#include "PlaybackWaits.h"
#include "Processes.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/engine/MediaPlayer.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeView>
#include <cmath>

namespace sorvane {

QColor BackColour(const QPushButton* button) {
    return button->palette().color(QPalette::Button);
}

void SetBackColour(QPushButton* button, const QColor& colour) {
    if (BackColour(button) == colour) return;
    QPalette p = button->palette();
    p.setColor(QPalette::Button, colour);
    button->setPalette(p);
}

Transport::Transport(Playback& playback) : QObject(&playback), pb_(playback) {
    Frame& f = pb_.shell().frame();
    QFont bold = f.cmdStop->font();
    bold.setBold(true);
    f.cmdStop->setFont(bold);
    SetBackColour(f.cmdGo, GoDesignColour());
    SetBackColour(f.cmdStop, StopColour());

    tmrBlinkGo = new QTimer(this);
    tmrBlinkGo->setObjectName(QStringLiteral("tmrBlinkGo"));
    tmrBlinkGo->setInterval(200);
    tmrDisableGo = new QTimer(this);
    tmrDisableGo->setObjectName(QStringLiteral("tmrDisableGo"));
    tmrDisableGo->setInterval(250);
    tmrJumpToCue = new QTimer(this);
    tmrJumpToCue->setObjectName(QStringLiteral("tmrJumpToCue"));
    tmrJumpToCue->setInterval(1500);
    connect(tmrBlinkGo, &QTimer::timeout, this, &Transport::tmrBlinkGo_Timer);
    connect(tmrDisableGo, &QTimer::timeout, this, &Transport::tmrDisableGo_Timer);
    connect(tmrJumpToCue, &QTimer::timeout, this, &Transport::tmrJumpToCue_Timer);
    tmrJumpToCue->start();

    connect(f.cmdGo, &QPushButton::clicked, this, &Transport::cmdGo_Click);
    connect(f.cmdStop, &QPushButton::clicked, this, &Transport::Command3_Click);
    connect(f.cmdNext, &QPushButton::clicked, this, &Transport::cmdNext_Click);
    connect(f.cmdPrev, &QPushButton::clicked, this, &Transport::cmdPrev_Click);
    f.cmdGo->installEventFilter(this);
    connect(&pb_.cues(), &CueListEditor::ListView1_DblClick, this, &Transport::ListView1_DblClick);
}

bool Transport::eventFilter(QObject* watched, QEvent* e) {
    Frame& f = pb_.shell().frame();
    if (watched == f.cmdGo) {
        // Only a left press on an enabled GO (the second press of a double click included)
        // makes the coming click the operator's: a press while GO is held disabled after a
        // GO clicks nothing, and another button's press never clicks, so either would leave
        // the flag set for the next GO a process gives.
        // From the press on GO to the cue's sound, the window's repaint waits (the button
        // repaints itself at once on a press and on a click): the sound comes first.
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
            if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && f.cmdGo->isEnabled()) {
                cmdGo_MouseDown();
                pb_.paintHold().release(pressHold_);
                pressHold_ = pb_.paintHold().hold(f.cmdGo->window());
            }
        } else if (e->type() == QEvent::MouseButtonRelease) {
            // Released off the button: no click comes, and the press is no GO at all.
            if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && !f.cmdGo->isDown())
                ManualGo = false;
            if (pressHold_ != 0) {
                // Held on through the click; a cue it starts holds on by itself.
                const int click = pb_.paintHold().hold(f.cmdGo->window());
                pb_.paintHold().release(pressHold_);
                pressHold_ = 0;
                QTimer::singleShot(0, this, [this, click] { pb_.paintHold().release(click); });
            }
        } else if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            // Return and the keypad's Enter click GO as Space does (a button outside a dialog
            // takes no Enter of its own); a held key clicks once.
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
                (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                if (!k->isAutoRepeat()) f.cmdGo->click();
                return true;
            }
            const QString text = k->text();
            // Space clicks the button, as Enter does; neither is typed into the buffer.
            if (text.size() == 1 && text.at(0).unicode() > 32 && text.at(0).unicode() < 127 &&
                !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
                cmdGo_KeyPress(static_cast<std::int16_t>(text.at(0).unicode()));
        }
    }
    return QObject::eventFilter(watched, e);
}

void Transport::cmdGo_Click() {
    CueListEditor& cues = pb_.cues();
    Frame& f = pb_.shell().frame();
    // 1. the first row only on the operator's GO; nothing without a selection
    const int selected = cues.SelectedIndex();
    if (selected == 0) return;
    if (selected == 1 && !ManualGo) return;
    // A cue that finds no room for its process is not fired; the press is spent.
    if (!pb_.processes().RoomForShowProcess(selected)) {
        ManualGo = false;
        return;
    }
    // 2, 3.
    const bool operatorGo = ManualGo;
    if (ManualGo) {
        ShowHalted = false;
        DelayHalted = false;
    }
    ManualGo = false;
    // 4.
    f.cmdGo->setEnabled(false);
    tmrDisableGo->start();
    tmrBlinkGo->stop();
    SetBackColour(f.cmdGo, GoFiredColour());
    // 5. the current cue
    cues.ListView1Tag = cues.model().row(selected - 1).text;
    // 6.
    pb_.shell().ShowStatus(
        QStringLiteral("Executing Cue ") + QString::number(selected) + QLatin1Char('.'), 0);
    // 7. the cue process, for the row that is fired now
    pb_.processes().LoadShowProcess(cues.ListView1Tag, selected, operatorGo);
    // 8. the next cue stands by
    cues.SelectRow(selected >= cues.model().count() ? 1 : selected + 1);
    // 9.
    cues.UpdateListView();
}

void Transport::cmdGo_MouseDown() {
    ManualGo = true;
}

void Transport::ListView1_DblClick() {
    ManualGo = true;
    cmdGo_Click();
}

void Transport::cmdGo_KeyPress(std::int16_t KeyAscii) {
    if (KeyAscii == '+') {
        cmdNext_Click();
        return;
    }
    if (KeyAscii == '-') {
        cmdPrev_Click();
        return;
    }
    cmdGoTag += QChar(static_cast<char16_t>(KeyAscii));
    static const QRegularExpression number(QStringLiteral("^(\\d+\\.?\\d*|\\.\\d+)$"));
    if (number.match(cmdGoTag).hasMatch()) {
        CueListEditor& cues = pb_.cues();
        const double value = std::floor(cmdGoTag.toDouble());
        if (value >= 1 && value <= cues.model().count()) {
            cues.SelectRow(static_cast<int>(value));
            cues.UpdateListView();
        }
    }
    tmrJumpToCue->stop();
    tmrJumpToCue->start();
}

void Transport::tmrJumpToCue_Timer() {
    cmdGoTag.clear();
    tmrJumpToCue->stop();
}

void Transport::cmdNext_Click() {
    CueListEditor& cues = pb_.cues();
    const int n = cues.model().count();
    if (n > 0) {
        const int selected = cues.SelectedIndex();
        cues.SelectRow(selected == 0 || selected >= n ? 1 : selected + 1);
    }
    cues.UpdateListView();
}

void Transport::cmdPrev_Click() {
    CueListEditor& cues = pb_.cues();
    const int n = cues.model().count();
    if (n > 0) {
        const int selected = cues.SelectedIndex();
        cues.SelectRow(selected <= 1 ? n : selected - 1);
    }
    cues.UpdateListView();
}

void Transport::Command3_Click() {
    Shell& shell = pb_.shell();
    Mixer& mixer = pb_.mixer();
    // 1, 2. every fade and cue process
    pb_.processes().UnloadAll();
    // 3.
    for (MediaPlayer* p : mixer.MediaPlayer1)
        p->Stop();
    // 4.
    ShowHalted = true;
    DelayHalted = true;
    // 5, 6.
    shell.ShowStatus(QStringLiteral("Clearing all buffered media."), 1);
    shell.ShowStatus(QStringLiteral("Show Halted at ") +
                         QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat),
                     2);
    // 7. every channel empty and free
    for (MediaPlayer* p : mixer.MediaPlayer1)
        p->setFileName(QString());
    // 8.
    shell.FocusGo();
}

void Transport::tmrBlinkGo_Timer() {
    QPushButton* go = pb_.shell().frame().cmdGo;
    SetBackColour(go, BackColour(go) == GoFiredColour() ? GoBlinkColour() : GoFiredColour());
}

void Transport::tmrDisableGo_Timer() {
    pb_.shell().frame().cmdGo->setEnabled(true);
    tmrDisableGo->stop();
    pb_.shell().FocusGo();
}

} // namespace sorvane
