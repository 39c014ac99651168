#pragma once
// Waiting for an item of the plant to report good quality while the window
// stays alive: the connection's value updates arrive through the event loop,
// so the wait keeps processing events while it waits.
#include <cstdint>
#include <functional>

#include "opc/PlantAccess.h"

namespace halvetra {

class Clock;

// How long a command waits for an item's first good value.
inline constexpr std::int64_t QualityWaitMs = 3000;

// Repeats { processEvents(); read the clock; ask the item's quality } until
// the quality is good (true) or `timeoutMs` have passed on `clock` since the
// wait began (false). The quality is asked at least once.
bool WaitForGoodQuality(PlantAccess& plant, const ItemHandle& item, const Clock& clock,
                        const std::function<void()>& processEvents, std::int64_t timeoutMs = QualityWaitMs);

}  // namespace halvetra
