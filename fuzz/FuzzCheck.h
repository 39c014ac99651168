#pragma once
// Shared by the fuzz targets: the input as text, and the check that turns a
// broken promise of a reader into a finding (an abort that libFuzzer reports
// with the input that caused it).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

namespace halvetra::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

[[noreturn]] inline void Finding(const char* what, const char* file, int line) {
    std::fprintf(stderr, "FUZZ FINDING at %s:%d: %s\n", file, line, what);
    std::abort();
}

// Bit for bit the same values (a -0 for a 0 counts as a change). memcmp, not
// a loop of double comparisons: the data sets are large, and every comparison
// in instrumented code costs a coverage callback.
inline bool SameBits(std::span<const double> a, std::span<const double> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

inline bool AllFinite(std::span<const double> values) {
    for (const double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace halvetra::fuzz

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) ::halvetra::fuzz::Finding(#condition, __FILE__, __LINE__); \
    } while (false)
