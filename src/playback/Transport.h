#pragma once

// The operator's controls for running a show: GO, Stop, Prev, Next, the GO keys with their
// type-ahead, the double-click on a cue, and GO's standing timers (blink, debounce and the
// type-ahead reset).

#include <QColor>
#include <QObject>
#include <QString>
#include <cstdint>

class QPushButton;
class QTimer;

namespace sorvane {

class Playback;

class Transport : public QObject {
    Q_OBJECT
public:
    explicit Transport(Playback& playback);

    void cmdGo_Click();
    void cmdGo_MouseDown();
    void cmdGo_KeyPress(std::int16_t KeyAscii);
    void ListView1_DblClick();
    void cmdNext_Click();
    void cmdPrev_Click();
    void Command3_Click(); // Stop
    void tmrBlinkGo_Timer();
    void tmrDisableGo_Timer();
    void tmrJumpToCue_Timer();

    QTimer* tmrBlinkGo = nullptr;
    QTimer* tmrDisableGo = nullptr;
    QTimer* tmrJumpToCue = nullptr;
    // The GO type-ahead buffer.
    QString cmdGoTag;

    static QColor GoDesignColour() { return {0, 192, 0}; }
    static QColor GoFiredColour() { return {0, 200, 0}; }
    static QColor GoBlinkColour() { return {0, 255, 0}; }
    static QColor StopColour() { return {255, 0, 0}; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Playback& pb_;
    int pressHold_ = 0; // the window's repaint waits from GO's press to its click
};

// The background colour of a button.
QColor BackColour(const QPushButton* button);
void SetBackColour(QPushButton* button, const QColor& colour);

} // namespace sorvane
