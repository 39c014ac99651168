#pragma once
// The error the plant connection raises; its text is what the user reads.
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace halvetra {

class PlantAccessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The status text of a plant access that has no connection.
inline constexpr const char* NotConnectedStatus = "BadNotConnected";

// The error of a write of several items: "Cannot write Items:" and one line
// "<item>: <error text>" per refused item. `written` lists the items the
// server took all the same (it applies each item of a request on its own);
// `note` is a last line of its own when not empty.
inline std::string WriteItemsErrorText(const std::vector<std::pair<std::string, std::string>>& refused,
                                       const std::vector<std::string>& written = {}, const std::string& note = {}) {
    std::string text = "Cannot write Items:";
    for (const auto& [item, error] : refused) text += "\n" + item + ": " + error;
    if (!written.empty()) {
        text += "\nWritten all the same: ";
        for (std::size_t i = 0; i < written.size(); ++i) text += (i > 0 ? ", " : "") + written[i];
    }
    if (!note.empty()) text += "\n" + note;
    return text;
}

}  // namespace halvetra
