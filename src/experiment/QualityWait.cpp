#include "experiment/QualityWait.h"

#include "experiment/Clock.h"

namespace halvetra {

bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock,
                        const std::function<void()>& processEvents, std::int64_t timeoutMs) {
    const std::int64_t start = clock.ticks();
    for (;;) {
        if (processEvents) processEvents();
        const std::int64_t now = clock.ticks();
        if (plant.QualityIsGood(item)) return true;
        if (now - start >= timeoutMs) return false;
    }
}

}  // namespace halvetra
