#include "experiment/ControllerLoad.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "experiment/Clock.h"
#include "experiment/WriteLog.h"

namespace halvetra {

namespace {

constexpr const char* TermNames[3] = {"P", "I", "D"};

std::string ItemName(std::size_t i) {
    return i < 3 ? "the " + std::string(TermNames[i]) + " term item" : std::string("the M/A item");
}

void RequireConnection(const PlantAccess& plant) {
    // Without a connection no item ever gets a good value: no need to wait for one.
    if (!plant.IsConnected())
        throw HalvetraError(
            "The controller items could not be reached: there is no connection to the OPC server. "
            "Nothing was written.");
}

// One wait for all items: each in turn, within what is left of the time.
void WaitForItems(PlantAccess& plant, const std::vector<ItemHandle>& items, const Clock& clock,
                  const std::function<void()>& processEvents, std::int64_t timeoutMs, std::int64_t start) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::int64_t left = std::max<std::int64_t>(0, timeoutMs - (clock.ticks() - start));
        if (WaitForGoodQuality(plant, items[i], clock, processEvents, left)) continue;
        if (!plant.IsConnected())
            throw HalvetraError(
                "The controller items could not be reached: the connection to the OPC server was "
                "lost. Nothing was written.");
        throw HalvetraError("The controller items could not be reached: " + ItemName(i) + " '" + items[i]->Id +
                            "' reported no good value within " + std::to_string(timeoutMs) +
                            " ms. Nothing was written.");
    }
}

// The one request, recorded item by item whatever its outcome.
void WriteAndRecord(PlantAccess& plant, const std::vector<ItemHandle>& items, const std::vector<double>& values,
                    const std::vector<double>& before, WriteLog* log) {
    const auto record = [&](const std::string& error) {
        if (!log) return;
        std::vector<WriteLogLine> lines;
        for (std::size_t i = 0; i < items.size(); ++i)
            lines.push_back(
                {items[i]->Id, before[i], values[i], error.empty() ? "ok" : WriteResultOf(error, items[i]->Id)});
        log->Append(plant.ServerUrl(), plant.UserName(), lines);
    };
    try {
        plant.WriteValues(items, values);
    } catch (const std::exception& e) {
        record(e.what());
        throw;
    }
    record({});
}

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
                      const std::array<std::string, 3>& texts, char decimalSeparator, std::array<ItemHandle, 3>& items,
                      const Clock& clock, const std::function<void()>& processEvents, std::int64_t timeoutMs,
                      const ControllerWriteOptions& options) {
    const std::array<double, 3> values = ControllerTermValues(texts, decimalSeparator);

    plant.ClearItems(group);
    items = {};
    for (std::size_t i = 0; i < itemIds.size(); ++i) items[i] = plant.AddItem(group, itemIds[i]);
    // The M/A item is only read, to be restored later: one the server rejects is left out.
    ItemHandle mode;
    if (!options.ModeItemId.empty() && plant.IsConnected()) {
        try {
            mode = plant.AddItem(group, options.ModeItemId);
        } catch (const std::exception&) {
            mode = nullptr;
        }
    }

    RequireConnection(plant);
    const std::int64_t start = clock.ticks();
    const std::vector<ItemHandle> terms(items.begin(), items.end());
    WaitForItems(plant, terms, clock, processEvents, timeoutMs, start);

    ControllerSnapshot previous;
    previous.ServerUrl = plant.ServerUrl();
    for (const ItemHandle& item : terms) {
        previous.Ids.push_back(item->Id);
        previous.Values.push_back(plant.ReadValue(item));
    }
    if (mode) {
        const std::int64_t left = std::max<std::int64_t>(0, timeoutMs - (clock.ticks() - start));
        if (WaitForGoodQuality(plant, mode, clock, processEvents, left)) {
            previous.Ids.push_back(mode->Id);
            previous.Values.push_back(plant.ReadValue(mode));
        }
    }

    const std::vector<double> before(previous.Values.begin(), previous.Values.begin() + 3);
    try {
        WriteAndRecord(plant, terms, std::vector<double>(values.begin(), values.end()), before, options.Log);
    } catch (const std::exception& e) {
        // A request the server took in part has changed the controller: its old values stay restorable.
        if (options.Previous && std::string(e.what()).find("Written all the same") != std::string::npos)
            *options.Previous = previous;
        throw;
    }
    if (options.Previous) *options.Previous = std::move(previous);
}

void RestoreController(PlantAccess& plant, PlantGroup& group, const ControllerSnapshot& previous,
                       std::array<ItemHandle, 3>& items, const Clock& clock, const std::function<void()>& processEvents,
                       std::int64_t timeoutMs, WriteLog* log) {
    if (previous.Empty() || previous.Ids.size() != previous.Values.size())
        throw HalvetraError("There are no previous controller parameters to restore.");
    if (plant.IsConnected() && plant.ServerUrl() != previous.ServerUrl)
        throw HalvetraError("The previous controller parameters were read from " + previous.ServerUrl +
                            ", not from the server connected now (" + plant.ServerUrl() + "). Nothing was written.");
    plant.ClearItems(group);
    items = {};
    std::vector<ItemHandle> handles;
    for (std::size_t i = 0; i < previous.Ids.size(); ++i) {
        handles.push_back(plant.AddItem(group, previous.Ids[i]));
        if (i < items.size()) items[i] = handles.back();
    }
    RequireConnection(plant);
    WaitForItems(plant, handles, clock, processEvents, timeoutMs, clock.ticks());
    std::vector<double> before;
    for (const ItemHandle& item : handles) before.push_back(plant.ReadValue(item));
    WriteAndRecord(plant, handles, previous.Values, before, log);
}

}  // namespace halvetra
