#pragma once
// Waiting for an item of the plant to report good quality, with the window
// kept alive: the value updates of the connection arrive through the event
// loop, so the wait processes events while it waits.
#include <cstdint>

#include "opc/PlantAccess.h"

namespace halvetra {

class Clock;

// How long a command waits for an item's first good value.
inline constexpr std::int64_t QualityWaitMs = 3000;

// Repeats { process pending events; read the clock; ask the item's quality }
// until the quality is good (true) or `timeoutMs` have passed on `clock`
// since the wait began (false). The quality is asked at least once.
bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock,
                        std::int64_t timeoutMs = QualityWaitMs);

}  // namespace halvetra
