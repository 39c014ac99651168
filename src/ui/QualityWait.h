#pragma once
// The quality wait of a window command: events are processed while it waits,
// sleeping between them at most one short tick so that the end of the wait is
// noticed also when nothing happens.
#include <cstdint>

#include "experiment/QualityWait.h"

namespace halvetra {

bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock,
                        std::int64_t timeoutMs = QualityWaitMs);

}  // namespace halvetra
