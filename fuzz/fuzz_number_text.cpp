// The number readers of edit fields, header values and data fields, with the
// point and the comma as separator, and the time-of-day stamps of delimited
// data files. What a reader accepts must read as the C library reads the same
// number written with a point: the nearest double.
#include "FuzzCheck.h"

#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TObdelava.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace halvetra;

namespace {

// strtod of the whole text; false when it does not take all of it.
bool ReadByCLibrary(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

bool SameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

void CheckTextToFloat(std::string_view text, char separator) {
    double value = 0.0;
    try {
        value = TextToFloat(text, separator);
    } catch (const ConversionError&) {
        return;
    }
    FUZZ_CHECK(std::isfinite(value));
    std::string normal = Trimmed(text);
    // Only the given separator is accepted, at most once.
    FUZZ_CHECK(separator == '.' || normal.find('.') == std::string::npos);
    const auto at = normal.find(separator);
    if (at != std::string::npos) normal[at] = '.';
    double expected = 0.0;
    FUZZ_CHECK(ReadByCLibrary(normal, expected));
    FUZZ_CHECK(SameDouble(value, expected));
}

void CheckParseNumber(std::string_view text, char decimalChar) {
    double value = 1.0;
    const int error = ParseNumber(text, decimalChar, value);
    FUZZ_CHECK(error >= 0 && static_cast<std::size_t>(error) <= text.size() + 1);
    if (error != 0) {
        FUZZ_CHECK(value == 0.0);
        return;
    }
    FUZZ_CHECK(std::isfinite(value));
    std::string normal(text);
    const auto at = normal.find(decimalChar);
    if (at != std::string::npos) normal[at] = '.';
    double expected = 0.0;
    FUZZ_CHECK(ReadByCLibrary(normal, expected));
    FUZZ_CHECK(SameDouble(value, expected));
}

void CheckTextToInt(std::string_view text) {
    int value = 0;
    try {
        value = TextToInt(text);
    } catch (const ConversionError&) {
        return;
    }
    const std::string normal = Trimmed(text);
    errno = 0;
    char* end = nullptr;
    const long long expected = std::strtoll(normal.c_str(), &end, 10);
    FUZZ_CHECK(errno == 0 && !normal.empty() && end == normal.c_str() + normal.size());
    FUZZ_CHECK(expected == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view text = fuzz::AsText(bytes, size);
    for (const char separator : {'.', ','}) {
        CheckTextToFloat(text, separator);
        CheckParseNumber(text, separator);
    }
    CheckTextToInt(text);

    const TimeOfDay time = ParseTimeOfDay(std::string(text));
    for (const int part : {time.hours, time.minutes, time.seconds}) FUZZ_CHECK(part >= 0 && part <= 1000000000);
    return 0;
}
