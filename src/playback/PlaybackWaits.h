#pragma once

// The waits of the cue and fade processes. Each pass lets every pending event and timer run;
// when the condition still holds, the pass then sleeps until the next event arrives or
// `maxSleepMs` has gone, so a long wait costs next to nothing. A player's state change is an
// event and so ends the sleep at once.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <set>

class QWidget;

namespace sorvane {

// Lets pending events and timer ticks run once, without sleeping.
void LetEventsRun();

// Sleeps until an event arrives (and runs it) or `maxSleepMs` have passed.
void SleepForEvents(int maxSleepMs);

// Sound before pixels: while a cue is on its way to its sound, the window's repaint waits,
// so the millisecond it takes is not spent between the operator's GO and the sound. The
// cue's first wait still runs every other event and timer. A hold is let go when the cue's
// action has begun, on Stop, and in any case after `kLongestMs`, so the window is never
// left unpainted.
class PaintHold : public QObject {
public:
    static constexpr int kLongestMs = 80;

    explicit PaintHold(QObject* parent);
    ~PaintHold() override;
    PaintHold(const PaintHold&) = delete;
    PaintHold& operator=(const PaintHold&) = delete;

    // Holds the repaint of `window`; returns the hold's ticket (never 0) for `release`.
    int hold(QWidget* window);
    // Lets go of one hold (a ticket let go of already counts for nothing); the window
    // repaints once the last one is let go.
    void release(int ticket);
    // Lets go of every hold at once.
    void releaseAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void repaintHeld();

    QPointer<QWidget> window_;
    std::set<int> holds_; // the tickets not let go of
    int lastTicket_ = 0;
    bool held_ = false; // a repaint was asked for and waits
    QTimer longest_;
};

} // namespace sorvane
