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
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "experiment/QualityWait.h"
#include "opc/PlantAccess.h"

namespace halvetra {

class Clock;

// The three values of Edit_Reg_Kp, Edit_Reg_Ki and Edit_Reg_Kd: an empty text
// is 0, any other is converted with the given decimal separator. Raises
// ConversionError for a text that is not a number and HalvetraError for one
// whose value is not finite.
std::array<double, 3> ControllerTermValues(const std::array<std::string, 3>& texts, char decimalSeparator);

// The whole command. `items` receives the three new item handles (P, I, D) as
// soon as they are added, so that the caller keeps them whatever happens
// after. processEvents runs while waiting for the qualities.
void LoadToController(PlantAccess& plant, PlantGroup& group, const std::array<std::string, 3>& itemIds,
                      const std::array<std::string, 3>& texts, char decimalSeparator,
                      std::array<ItemHandle, 3>& items, const Clock& clock,
                      const std::function<void()>& processEvents, std::int64_t timeoutMs = QualityWaitMs);

}  // namespace halvetra
