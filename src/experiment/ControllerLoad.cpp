#include "experiment/ControllerLoad.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "experiment/Clock.h"

namespace halvetra {

namespace {

constexpr const char* TermNames[3] = {"P", "I", "D"};

}  // namespace

std::array<double, 3> ControllerTermValues(const std::array<std::string, 3>& texts, char decimalSeparator) {
    std::array<double, 3> values{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].empty()) continue;
        values[i] = TextToFloat(texts[i], decimalSeparator);
        if (!std::isfinite(values[i]))
            throw HalvetraError("The " + std::string(TermNames[i]) + " term '" + texts[i] +
                                "' is not a finite number. Nothing was written.");
    }
    return values;
}

void LoadToController(PlantAccess& plant, PlantGroup& group, const std::array<std::string, 3>& itemIds,
                      const std::array<std::string, 3>& texts, char decimalSeparator,
                      std::array<ItemHandle, 3>& items, const Clock& clock,
                      const std::function<void()>& processEvents, std::int64_t timeoutMs) {
    const std::array<double, 3> values = ControllerTermValues(texts, decimalSeparator);

    plant.ClearItems(group);
    items = {};
    for (std::size_t i = 0; i < itemIds.size(); ++i) items[i] = plant.AddItem(group, itemIds[i]);

    // Without a connection no item ever gets a good value: no need to wait for one.
    if (!plant.IsConnected())
        throw HalvetraError("The controller items could not be reached: there is no connection to the OPC server. "
                            "Nothing was written.");
    // One wait for all three: each item in turn, within what is left of the time.
    const std::int64_t start = clock.ticks();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::int64_t left = std::max<std::int64_t>(0, timeoutMs - (clock.ticks() - start));
        if (WaitForGoodQuality(plant, items[i], clock, processEvents, left)) continue;
        if (!plant.IsConnected())
            throw HalvetraError("The controller items could not be reached: the connection to the OPC server was "
                                "lost. Nothing was written.");
        throw HalvetraError("The controller items could not be reached: the " + std::string(TermNames[i]) +
                            " term item '" + items[i]->Id + "' reported no good value within " +
                            std::to_string(timeoutMs) + " ms. Nothing was written.");
    }

    plant.WriteValues(std::vector<ItemHandle>(items.begin(), items.end()),
                      std::vector<double>(values.begin(), values.end()));
}

}  // namespace halvetra
