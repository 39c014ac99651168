#pragma once
// What the tests of values that are not finite share: the values, the
// system's error texts for them, and the checks of what the user sees.
#include <cctype>
#include <functional>
#include <limits>
#include <string>

#include "data/Errors.h"

namespace halvetra::testing_nonfinite {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* Overflow = "Floating point overflow";
constexpr const char* Invalid = "Invalid floating point operation";

// True when a text shows a value that is not finite ("NAN", "inf", "-INF").
inline bool NamesNonFinite(const std::string& text) {
    std::string lower;
    for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

// The text of the FloatingPointError the action raises, "" when it succeeds.
inline std::string FaultOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const FloatingPointError& e) {
        return e.what();
    }
    return "";
}

}  // namespace halvetra::testing_nonfinite
