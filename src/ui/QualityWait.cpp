#include "ui/QualityWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace halvetra {

bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock, std::int64_t timeoutMs) {
    QTimer tick;
    tick.start(10);
    return WaitForGoodQuality(
        plant, item, clock,
        [] { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); }, timeoutMs);
}

}  // namespace halvetra
