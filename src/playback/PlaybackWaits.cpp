#include "PlaybackWaits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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

} // namespace sorvane
