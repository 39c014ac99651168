#pragma once
// "Load to controller" without its page: the P, I and D values shown on the
// Controller page go to the plant's inner controller in one write request.
//
// The order keeps a live controller from ever being half updated:
//  1. all three texts are converted and checked (an empty text is 0; a text
//     that is not a number, or a value that is not finite, ends the command);
//  2. the controller group's items are replaced by the three items;
//  3. while connected, the three items are waited for until each reports a
//     good quality, all within one bounded wait;
//  4. the three values are written in ONE request (PlantAccess::WriteValues),
//     which checks every item before anything is sent.
// A failure at any step ends the command with a message that says nothing
// was written (or, for a refusal by the server in step 4, which items).
//
// Before step 4 the values the items hold are kept (with the M/A item's when
// one is given and it reports a good value within the same wait), so that
// RestoreController can put them back; every item of the request is recorded
// in the write log with its old and new value and its result.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <vector>

#include "experiment/QualityWait.h"
#include "opc/PlantAccess.h"

namespace halvetra {

class Clock;

// The three values of Edit_Reg_Kp, Edit_Reg_Ki and Edit_Reg_Kd: an empty text
// is 0, any other is converted with the given decimal separator. Raises
// ConversionError for a text that is not a number and HalvetraError for one
// whose value is not finite.
std::array<double, 3> ControllerTermValues(const std::array<std::string, 3>& texts, char decimalSeparator);

class WriteLog;

// The values of the controller's items before a write: identifiers and values
// pair up by position (P, I, D, then the M/A item when it was read).
struct ControllerSnapshot {
    std::string ServerUrl;  // where they were read: they are restored there only
    std::vector<std::string> Ids;
    std::vector<double> Values;
    bool Empty() const { return Ids.empty(); }
};

// What a write to the controller keeps and records besides writing.
struct ControllerWriteOptions {
    std::string ModeItemId;                  // the M/A item; empty when not mapped
    ControllerSnapshot* Previous = nullptr;  // receives the values before a write that was sent
    WriteLog* Log = nullptr;                 // records every item written
};

// The whole command. `items` receives the three new item handles (P, I, D) as
// soon as they are added, so that the caller keeps them whatever happens
// after. processEvents runs while waiting for the qualities.
void LoadToController(PlantAccess& plant, PlantGroup& group, const std::array<std::string, 3>& itemIds,
                      const std::array<std::string, 3>& texts, char decimalSeparator, std::array<ItemHandle, 3>& items,
                      const Clock& clock, const std::function<void()>& processEvents,
                      std::int64_t timeoutMs = QualityWaitMs, const ControllerWriteOptions& options = {});

// "Restore previous parameters": the kept values go back with the same steps
// 2 to 4 (every item of the snapshot must report a good value; one request;
// nothing written on any failure) and each item is recorded in the log. The
// P, I and D handles go to `items`. A connection to another server than the
// one the values were read from writes nothing.
void RestoreController(PlantAccess& plant, PlantGroup& group, const ControllerSnapshot& previous,
                       std::array<ItemHandle, 3>& items, const Clock& clock, const std::function<void()>& processEvents,
                       std::int64_t timeoutMs = QualityWaitMs, WriteLog* log = nullptr);

}  // namespace halvetra
