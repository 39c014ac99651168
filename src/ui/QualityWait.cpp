#include "ui/QualityWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "experiment/Clock.h"

namespace halvetra {

bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock, std::int64_t timeoutMs) {
    // Between events the wait sleeps, but never longer than one tick of this
    // timer, so that it notices the end of its time also when nothing happens.
    QTimer tick;
    tick.start(10);
    const std::int64_t start = clock.ticks();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        const std::int64_t now = clock.ticks();
        if (plant.QualityIsGood(item)) return true;
        if (now - start >= timeoutMs) return false;
    }
}

}  // namespace halvetra
