#include "PlaybackWaits.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>
#include <limits>

namespace sorvane {

void LetEventsRun() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SleepForEvents(int maxSleepMs) {
    QTimer wake; // ends the sleep at the latest; destroyed with this pass
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(maxSleepMs < 1 ? 1 : maxSleepMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

PaintHold::PaintHold(QObject* parent) : QObject(parent) {
    longest_.setSingleShot(true);
    longest_.setTimerType(Qt::PreciseTimer);
    longest_.setInterval(kLongestMs);
    connect(&longest_, &QTimer::timeout, this, &PaintHold::releaseAll);
}

PaintHold::~PaintHold() {
    if (window_) window_->removeEventFilter(this);
}

int PaintHold::hold(QWidget* window) {
    if (!window) return 0;
    if (window_ != window) {
        releaseAll();
        if (window_) window_->removeEventFilter(this);
        window_ = window;
        window_->installEventFilter(this);
    }
    lastTicket_ = lastTicket_ == std::numeric_limits<int>::max() ? 1 : lastTicket_ + 1;
    holds_.insert(lastTicket_);
    return lastTicket_;
}

void PaintHold::release(int ticket) {
    if (holds_.erase(ticket) != 0 && holds_.empty()) repaintHeld();
}

void PaintHold::releaseAll() {
    holds_.clear();
    repaintHeld();
}

void PaintHold::repaintHeld() {
    longest_.stop();
    if (!held_) return;
    held_ = false;
    // The window's repaint manager still counts its request as sent: it is sent again.
    if (window_)
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
}

bool PaintHold::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::UpdateRequest && watched == window_ && !holds_.empty()) {
        if (!held_) {
            held_ = true;
            longest_.start();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace sorvane
