// Number texts: formats and readers, each under a point and a comma separator.
#include "data/NumberText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "data/Errors.h"

namespace halvetra {
namespace {

// The text written with '.' as separator, shown with `sep` instead.
std::string WithSep(std::string text, char sep) {
    for (char& c : text)
        if (c == '.') c = sep;
    return text;
}

// The double that a C-locale text denotes (strtod with a point).
double Strtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// x rounded to `digits` significant digits by printf (ties to even on the
// exact value, irrelevant for the random values it is used on).
double RoundedBy_printf(double x, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, x);
    return Strtod(buffer);
}

// x rounded to `digits` significant digits by printf, rounding away from
// zero (printf follows the rounding mode: upward for positive values).
double RoundedAwayBy_printf(double x, int digits) {
    char buffer[64];
    const int mode = std::fegetround();
    std::fesetround(x < 0 ? FE_DOWNWARD : FE_UPWARD);
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, x);
    std::fesetround(mode);  // before strtod, which follows the mode as well
    return Strtod(buffer);
}

// printf's %G with `precision` (same fixed/scientific rule as FormatGeneral),
// with the exponent reduced to at least `exponentDigits` digits.
std::string PrintfGeneral(double x, int precision, int exponentDigits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", precision, x);
    std::string text = buffer;
    const auto e = text.find('E');
    if (e == std::string::npos) return text;
    std::string exponent = std::to_string(std::atoi(text.c_str() + e + 2));
    if (exponent.size() < static_cast<std::size_t>(exponentDigits))
        exponent.insert(0, static_cast<std::size_t>(exponentDigits) - exponent.size(), '0');
    return text.substr(0, e + 2) + exponent;
}

// Whether x lies exactly halfway between two numbers of `digits` significant
// digits (glibc prints the exact decimal expansion at 800 digits).
bool IsExactTie(double x, int digits) {
    static char buffer[900];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits + 3, std::fabs(x));  // quick look first
    if (buffer[digits + 1] != '5' || buffer[digits + 2] != '0' || buffer[digits + 3] != '0') return false;
    std::snprintf(buffer, sizeof buffer, "%.800e", std::fabs(x));
    std::string mantissa(buffer, std::strchr(buffer, 'e'));
    mantissa.erase(1, 1);  // the point
    return mantissa[static_cast<std::size_t>(digits)] == '5' &&
           mantissa.find_first_not_of('0', static_cast<std::size_t>(digits) + 1) == std::string::npos;
}

// A random finite double: half from random bit patterns (all exponents,
// subnormals included), half log-uniform between 1e-300 and 1e300.
double RandomDouble(std::mt19937_64& rng) {
    if (rng() & 1) {
        for (;;) {
            const std::uint64_t bits = rng();
            double x;
            std::memcpy(&x, &bits, sizeof x);
            if (std::isfinite(x) && x != 0.0) return x;
        }
    }
    std::uniform_real_distribution<double> exponent(-300.0, 300.0);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    const double x = mantissa(rng) * std::pow(10.0, exponent(rng));
    return (rng() & 1) ? -x : x;
}

class NumberTextSep : public ::testing::TestWithParam<char> {};

INSTANTIATE_TEST_SUITE_P(Separators, NumberTextSep, ::testing::Values('.', ','),
                         [](const ::testing::TestParamInfo<char>& info) {
                             return std::string(info.param == '.' ? "Point" : "Comma");
                         });

// ---------------------------------------------------------------- FormatGeneral

TEST_P(NumberTextSep, GeneralExamplesAtPrecision10) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(0.1, 10, s), WithSep("0.1", s));
    EXPECT_EQ(FormatGeneral(1234567890.0, 10, s), "1234567890");
    EXPECT_EQ(FormatGeneral(12345678901.0, 10, s), WithSep("1.23456789E+10", s));
    EXPECT_EQ(FormatGeneral(0.00012345, 10, s), WithSep("0.00012345", s));
    EXPECT_EQ(FormatGeneral(0.000012345, 10, s), WithSep("1.2345E-5", s));
    EXPECT_EQ(FormatGeneral(100.0, 10, s), "100");
    EXPECT_EQ(FormatGeneral(-2.5, 10, s), WithSep("-2.5", s));
    EXPECT_EQ(FormatGeneral(1e20, 10, s), "1E+20");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0, 10, s), WithSep("0.3333333333", s));
    EXPECT_EQ(FormatGeneral(2.0 / 3.0, 10, s), WithSep("0.6666666667", s));
    EXPECT_EQ(FormatGeneral(-123.456, 10, s), WithSep("-123.456", s));
    EXPECT_EQ(FormatGeneral(0.1 + 0.2, 10, s), WithSep("0.3", s));
}

TEST_P(NumberTextSep, GeneralZeroAndNegativeZero) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(0.0, 10, s), "0");
    EXPECT_EQ(FormatGeneral(-0.0, 10, s), "0");
    EXPECT_EQ(FormatGeneral(-0.0, 8, s, 2), "0");
}

TEST_P(NumberTextSep, GeneralStatisticsFormatPrecision8TwoExponentDigits) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(0.00001, 8, s, 2), "1E-05");
    EXPECT_EQ(FormatGeneral(-0.000012345678, 8, s, 2), WithSep("-1.2345678E-05", s));
    EXPECT_EQ(FormatGeneral(123456789.0, 8, s, 2), WithSep("1.2345679E+08", s));
    EXPECT_EQ(FormatGeneral(12345678.0, 8, s, 2), "12345678");
    EXPECT_EQ(FormatGeneral(3.14159265358979, 8, s, 2), WithSep("3.1415927", s));
    EXPECT_EQ(FormatGeneral(1e-300, 8, s, 2), "1E-300");
    EXPECT_EQ(FormatGeneral(1e20, 8, s, 3), "1E+020");
}

TEST_P(NumberTextSep, GeneralExactTiesGoAwayFromZero) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(2.5, 1, s), "3");
    EXPECT_EQ(FormatGeneral(-2.5, 1, s), "-3");
    EXPECT_EQ(FormatGeneral(1.5, 1, s), "2");
    EXPECT_EQ(FormatGeneral(0.5, 1, s), WithSep("0.5", s));
    EXPECT_EQ(FormatGeneral(0.125, 2, s), WithSep("0.13", s));
    EXPECT_EQ(FormatGeneral(-0.125, 2, s), WithSep("-0.13", s));
    EXPECT_EQ(FormatGeneral(0.375, 2, s), WithSep("0.38", s));
    EXPECT_EQ(FormatGeneral(12.5, 2, s), "13");
    EXPECT_EQ(FormatGeneral(125.0, 2, s), WithSep("1.3E+2", s));  // 130 has more integer digits than 2
    EXPECT_EQ(FormatGeneral(12345678905.0, 10, s), WithSep("1.234567891E+10", s));
    EXPECT_EQ(FormatGeneral(0.0001220703125, 3, s), WithSep("0.000122", s));  // 2^-13, 1220703125: not a tie at 3
    EXPECT_EQ(FormatGeneral(0.0001220703125, 10, s), WithSep("0.0001220703125", s));
    EXPECT_EQ(FormatGeneral(0.0001220703125, 9, s), WithSep("0.000122070313", s));  // tie at 9 digits
}

TEST_P(NumberTextSep, GeneralRoundsTheExactBinaryValue) {
    const char s = GetParam();
    // The doubles nearest 0.15 and 1.005 lie below the decimal ties.
    EXPECT_EQ(FormatGeneral(0.15, 1, s), WithSep("0.1", s));
    EXPECT_EQ(FormatGeneral(1.005, 3, s), "1");
    // The double nearest 0.35 lies below the tie, the one nearest 0.45 above.
    EXPECT_EQ(FormatGeneral(0.35, 1, s), WithSep("0.3", s));
    EXPECT_EQ(FormatGeneral(0.45, 1, s), WithSep("0.5", s));
    // More digits than the shortest form shows: the exact expansion.
    EXPECT_EQ(FormatGeneral(0.1, 20, s), WithSep("0.10000000000000000555", s));
    EXPECT_EQ(FormatGeneral(0.1, 17, s), WithSep("0.10000000000000001", s));
    EXPECT_EQ(FormatGeneral(0.1, 16, s), WithSep("0.1", s));
}

TEST_P(NumberTextSep, GeneralFixedScientificBoundaries) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(0.0001, 10, s), WithSep("0.0001", s));
    EXPECT_EQ(FormatGeneral(-0.0001, 10, s), WithSep("-0.0001", s));
    EXPECT_EQ(FormatGeneral(0.000099999999999, 10, s), WithSep("0.0001", s));  // rounds up to 1E-4
    EXPECT_EQ(FormatGeneral(0.00009999, 10, s), WithSep("9.999E-5", s));
    EXPECT_EQ(FormatGeneral(0.0000999999995, 10, s), WithSep("9.99999995E-5", s));
    EXPECT_EQ(FormatGeneral(9999999999.0, 10, s), "9999999999");
    EXPECT_EQ(FormatGeneral(-9999999999.0, 10, s), "-9999999999");
    EXPECT_EQ(FormatGeneral(9999999999.4, 10, s), "9999999999");
    EXPECT_EQ(FormatGeneral(9999999999.5, 10, s), "1E+10");  // exact tie, away from zero
    EXPECT_EQ(FormatGeneral(9999999999.6, 10, s), "1E+10");
    EXPECT_EQ(FormatGeneral(-9999999999.6, 10, s), "-1E+10");
    EXPECT_EQ(FormatGeneral(10000000000.0, 10, s), "1E+10");
    EXPECT_EQ(FormatGeneral(99999999999.0, 12, s), "99999999999");
    EXPECT_EQ(FormatGeneral(999999999999.0, 12, s), "999999999999");
    EXPECT_EQ(FormatGeneral(1e12, 12, s), "1E+12");
    EXPECT_EQ(FormatGeneral(99999999999999.0, 14, s), "99999999999999");
    EXPECT_EQ(FormatGeneral(99999999999999.5, 14, s), "1E+14");
    EXPECT_EQ(FormatGeneral(99999999.5, 8, s, 2), "1E+08");
    EXPECT_EQ(FormatGeneral(9.5, 1, s), "1E+1");
    EXPECT_EQ(FormatGeneral(0.99999999996, 10, s), "1");
}

TEST_P(NumberTextSep, GeneralExtremes) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(DBL_MAX, 17, s), WithSep("1.7976931348623157E+308", s));
    EXPECT_EQ(FormatGeneral(DBL_MAX, 12, s), WithSep("1.79769313486E+308", s));
    EXPECT_EQ(FormatGeneral(-DBL_MAX, 1, s), "-2E+308");
    EXPECT_EQ(FormatGeneral(DBL_MIN, 10, s), WithSep("2.225073859E-308", s));
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::denorm_min(), 10, s), WithSep("4.940656458E-324", s));
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::denorm_min(), 1, s), "5E-324");
    char exact[400];
    std::snprintf(exact, sizeof exact, "%.0f", 1e300);  // glibc prints the exact integer
    EXPECT_EQ(FormatGeneral(1e300, 400, s), exact);
    EXPECT_EQ(std::string(exact).substr(0, 20), "10000000000000000525");
}

TEST_P(NumberTextSep, GeneralNonFinite) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::quiet_NaN(), 10, s), "NAN");
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity(), 10, s), "INF");
    EXPECT_EQ(FormatGeneral(-std::numeric_limits<double>::infinity(), 10, s), "-INF");
}

TEST_P(NumberTextSep, GeneralOddArguments) {
    const char s = GetParam();
    EXPECT_EQ(FormatGeneral(12.5, 0, s), "1E+1");  // precision taken as 1
    EXPECT_EQ(FormatGeneral(12.5, -3, s), "1E+1");
    EXPECT_EQ(FormatGeneral(1e-7, 10, s, 0), "1E-7");  // at least one exponent digit
    EXPECT_EQ(FormatGeneral(0.1, 1000000, s), FormatGeneral(0.1, 800, s));
}

// Non-tie values: the same text as printf's %G (which rounds ties to even but
// agrees everywhere else), for every precision from 1 to 17.
TEST_P(NumberTextSep, GeneralAgreesWithPrintfOnRandomValues) {
    const char s = GetParam();
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 20000; ++i) {
        const double x = RandomDouble(rng);
        const int precision = 1 + static_cast<int>(rng() % 17);
        const int exponentDigits = 1 + static_cast<int>(rng() % 3);
        if (IsExactTie(x, precision)) continue;  // printf rounds those to even
        ASSERT_EQ(FormatGeneral(x, precision, s, exponentDigits),
                  WithSep(PrintfGeneral(x, precision, exponentDigits), s))
            << "x=" << x << " precision=" << precision;
    }
}

// Exact ties: x = m / 2^j has the exact decimal expansion m * 5^j * 10^-j,
// rounded here with integer arithmetic, half up on the magnitude.
TEST_P(NumberTextSep, GeneralRoundsExactTiesAwayFromZeroProperty) {
    const char s = GetParam();
    std::mt19937_64 rng(7);
    int ties = 0;
    for (int i = 0; i < 20000; ++i) {
        const int j = 1 + static_cast<int>(rng() % 10);
        const std::int64_t m = 1 + static_cast<std::int64_t>(rng() % (1u << 20));
        std::int64_t n = m;
        for (int k = 0; k < j; ++k) n *= 5;  // x = n * 10^-j exactly
        const double x = std::ldexp(static_cast<double>(m), -j) * ((rng() & 1) ? -1.0 : 1.0);
        const int totalDigits = static_cast<int>(std::to_string(n).size());
        // Half the cases drop exactly the last digit (a tie when m is odd).
        const int precision = (rng() & 1) ? std::max(totalDigits - 1, 1)
                                          : 1 + static_cast<int>(rng() % static_cast<std::uint64_t>(totalDigits));
        const int drop = totalDigits - precision;
        std::int64_t unit = 1;
        for (int k = 0; k < drop; ++k) unit *= 10;
        const std::int64_t rest = n % unit;
        std::int64_t rounded = n / unit;
        if (drop > 0 && 2 * rest >= unit) ++rounded;
        if (drop > 0 && 2 * rest == unit) ++ties;
        const double expected = (x < 0 ? -1.0 : 1.0) * Strtod(std::to_string(rounded) + "e" + std::to_string(drop - j));
        const std::string text = FormatGeneral(x, precision, s);
        double back = 1.0;
        ASSERT_EQ(ParseNumber(text, ',', back), 0) << text;
        ASSERT_EQ(back, expected) << "x=" << x << " precision=" << precision << " text=" << text;
    }
    EXPECT_GT(ties, 1000);  // the property did exercise ties
}

// ---------------------------------------------------------------- FormatFixed

TEST_P(NumberTextSep, FixedExamples) {
    const char s = GetParam();
    EXPECT_EQ(FormatFixed(1.23456789, 15, 3, s), WithSep("1.235", s));
    EXPECT_EQ(FormatFixed(123456.789, 6, 3, s), WithSep("123457.000", s));
    EXPECT_EQ(FormatFixed(123.456, 4, 2, s), WithSep("123.50", s));
    EXPECT_EQ(FormatFixed(0.000123456, 2, 5, s), WithSep("0.00012", s));
    EXPECT_EQ(FormatFixed(2.0, 15, 3, s), WithSep("2.000", s));
    EXPECT_EQ(FormatFixed(-2.0, 15, 3, s), WithSep("-2.000", s));
    EXPECT_EQ(FormatFixed(-1.23456789, 12, 4, s), WithSep("-1.2346", s));
    EXPECT_EQ(FormatFixed(1234.5678, 15, 0, s), "1235");
    // Precision 15 is coarser than 25 decimals: 0.100000000000000, padded.
    EXPECT_EQ(FormatFixed(0.1, 15, 25, s), WithSep("0.1000000000000000000000000", s));
    EXPECT_EQ(FormatFixed(0.1, 25, 25, s), WithSep("0.1000000000000000055511151", s));
}

TEST_P(NumberTextSep, FixedTiesAndZero) {
    const char s = GetParam();
    EXPECT_EQ(FormatFixed(0.5, 15, 0, s), "1");
    EXPECT_EQ(FormatFixed(-0.5, 15, 0, s), "-1");
    EXPECT_EQ(FormatFixed(1.5, 15, 0, s), "2");
    EXPECT_EQ(FormatFixed(2.5, 15, 0, s), "3");
    EXPECT_EQ(FormatFixed(0.125, 15, 2, s), WithSep("0.13", s));
    EXPECT_EQ(FormatFixed(-0.125, 15, 2, s), WithSep("-0.13", s));
    EXPECT_EQ(FormatFixed(0.375, 15, 2, s), WithSep("0.38", s));
    EXPECT_EQ(FormatFixed(1.005, 15, 2, s), WithSep("1.00", s));  // the double is below 1.005
    EXPECT_EQ(FormatFixed(0.0, 15, 3, s), WithSep("0.000", s));
    EXPECT_EQ(FormatFixed(-0.0, 15, 3, s), WithSep("0.000", s));
    EXPECT_EQ(FormatFixed(0.0, 15, 0, s), "0");
    EXPECT_EQ(FormatFixed(-0.0004, 15, 3, s), WithSep("0.000", s));
    EXPECT_EQ(FormatFixed(-0.00049999, 15, 3, s), WithSep("0.000", s));
    EXPECT_EQ(FormatFixed(-0.0005, 15, 3, s), WithSep("-0.001", s));  // the double is above the tie
    EXPECT_EQ(FormatFixed(0.0006, 15, 3, s), WithSep("0.001", s));
    EXPECT_EQ(FormatFixed(0.00006, 15, 3, s), WithSep("0.000", s));
    EXPECT_EQ(FormatFixed(-0.4, 15, 0, s), "0");
    EXPECT_EQ(FormatFixed(1e-300, 15, 5, s), WithSep("0.00000", s));
    EXPECT_EQ(FormatFixed(0.0078125, 15, 6, s), WithSep("0.007813", s));  // 2^-7, exact tie
}

TEST_P(NumberTextSep, FixedRoundsOnceNotTwice) {
    const char s = GetParam();
    // 0.4445 to 3 significant digits would be 0.445 (a double rounding) and
    // then 0.45 at 2 decimals; rounded once to the coarser limit it is 0.44.
    EXPECT_EQ(FormatFixed(0.4445, 3, 2, s), WithSep("0.44", s));
    // 1.23456 at precision 3 (coarser than 4 decimals): 1.23, written 1.2300.
    EXPECT_EQ(FormatFixed(1.23456, 3, 4, s), WithSep("1.2300", s));
    // 999.96 at precision 4: 1000, written with 2 decimals.
    EXPECT_EQ(FormatFixed(999.96, 4, 2, s), WithSep("1000.00", s));
    EXPECT_EQ(FormatFixed(999999.9996, 10, 3, s), WithSep("1000000.000", s));
}

TEST_P(NumberTextSep, FixedScientificWhenIntegerPartIsLongerThanPrecision) {
    const char s = GetParam();
    EXPECT_EQ(FormatFixed(9999999999.4, 10, 3, s), WithSep("9999999999.000", s));
    EXPECT_EQ(FormatFixed(9999999999.6, 10, 3, s), "1E+10");
    EXPECT_EQ(FormatFixed(12345678901.0, 10, 3, s), WithSep("1.23456789E+10", s));
    EXPECT_EQ(FormatFixed(-12345678901.0, 10, 3, s), WithSep("-1.23456789E+10", s));
    EXPECT_EQ(FormatFixed(1e20, 15, 3, s), "1E+20");
    EXPECT_EQ(FormatFixed(123456789.0, 8, 4, s), WithSep("1.2345679E+8", s));
    EXPECT_EQ(FormatFixed(99999999.0, 8, 4, s), WithSep("99999999.0000", s));
    EXPECT_EQ(FormatFixed(99999999.5, 8, 4, s), "1E+8");
}

TEST_P(NumberTextSep, FixedRobustnessLabels) {
    const char s = GetParam();
    // Robustness r = p * sqrt(p) * 0.0284605 + 0.1 shown with precision 6 and 3 decimals.
    auto robustness = [](int p) { return p * std::sqrt(static_cast<double>(p)) * 0.0284605 + 0.1; };
    EXPECT_EQ(FormatFixed(robustness(0), 6, 3, s), WithSep("0.100", s));
    EXPECT_EQ(FormatFixed(robustness(10), 6, 3, s), WithSep("1.000", s));
    EXPECT_EQ(FormatFixed(robustness(20), 6, 3, s), WithSep("2.646", s));
}

TEST_P(NumberTextSep, FixedNonFiniteAndOddArguments) {
    const char s = GetParam();
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 15, 3, s), "NAN");
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 15, 3, s), "INF");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 15, 3, s), "-INF");
    EXPECT_EQ(FormatFixed(2.75, 15, -2, s), "3");               // decimals taken as 0
    EXPECT_EQ(FormatFixed(2.75, 0, 2, s), WithSep("3.00", s));  // precision taken as 1
}

// Decimals the coarser limit: the same text as printf's %.*f except on exact
// ties and for a negative value that rounds to zero.
TEST_P(NumberTextSep, FixedAgreesWithPrintfOnRandomValues) {
    const char s = GetParam();
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> exponent(-8.0, 8.0);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::pow(10.0, exponent(rng)) * ((rng() & 1) ? -1.0 : 1.0);
        const int decimals = static_cast<int>(rng() % 7);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
        std::string expected = buffer;
        if (expected[0] == '-' && expected.find_first_not_of("-0.") == std::string::npos) expected.erase(0, 1);
        ASSERT_EQ(FormatFixed(x, 15, decimals, s), WithSep(expected, s)) << "x=" << x << " decimals=" << decimals;
    }
}

// Exact ties at the decimals: x = m / 2^j, rounded half up with integers.
TEST_P(NumberTextSep, FixedRoundsExactTiesAwayFromZeroProperty) {
    const char s = GetParam();
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const int j = 1 + static_cast<int>(rng() % 10);
        const std::int64_t m = static_cast<std::int64_t>(rng() % (1u << 20));
        std::int64_t n = m;
        for (int k = 0; k < j; ++k) n *= 5;  // x = n * 10^-j
        const bool negative = rng() & 1;
        const double x = std::ldexp(static_cast<double>(m), -j) * (negative ? -1.0 : 1.0);
        const int decimals = static_cast<int>(rng() % static_cast<std::uint64_t>(j + 1));
        std::int64_t unit = 1;
        for (int k = 0; k < j - decimals; ++k) unit *= 10;
        std::int64_t rounded = n / unit + (2 * (n % unit) >= unit && unit > 1 ? 1 : 0);
        std::int64_t scale = 1;
        for (int k = 0; k < decimals; ++k) scale *= 10;
        std::string expected;
        if (negative && rounded != 0) expected.push_back('-');
        expected += std::to_string(rounded / scale);
        if (decimals > 0) {
            const std::string fraction = std::to_string(rounded % scale);
            expected.push_back(s);
            expected.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
            expected += fraction;
        }
        ASSERT_EQ(FormatFixed(x, 15, decimals, s), expected) << "x=" << x << " decimals=" << decimals;
    }
}

// ---------------------------------------------------------------- FormatShortest

TEST(NumberText, ShortestExamples) {
    EXPECT_EQ(FormatShortest(0.1), "0.1");
    EXPECT_EQ(FormatShortest(1e-7), "1e-07");
    EXPECT_EQ(FormatShortest(100.0), "100");
    EXPECT_EQ(FormatShortest(1e20), "1e+20");
    EXPECT_EQ(FormatShortest(-2.5), "-2.5");
    EXPECT_EQ(FormatShortest(0.0), "0");
    EXPECT_EQ(FormatShortest(-0.0), "-0");
    EXPECT_EQ(FormatShortest(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(FormatShortest(DBL_MAX), "1.7976931348623157e+308");
    EXPECT_EQ(FormatShortest(std::numeric_limits<double>::denorm_min()), "5e-324");
}

TEST(NumberText, ShortestNonFiniteIsJsonNull) {
    EXPECT_EQ(FormatShortest(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(FormatShortest(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(FormatShortest(-std::numeric_limits<double>::infinity()), "null");
}

TEST(NumberText, ShortestRoundTripsRandomValues) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const double x = RandomDouble(rng);
        const std::string text = FormatShortest(x);
        ASSERT_EQ(text.find(','), std::string::npos);
        ASSERT_EQ(Strtod(text), x) << text;
        double back = 0.0;
        ASSERT_EQ(ParseNumber(text, ',', back), 0) << text;
        ASSERT_EQ(back, x) << text;
    }
}

// ---------------------------------------------------------------- FormatShortest15

TEST_P(NumberTextSep, Shortest15) {
    const char s = GetParam();
    EXPECT_EQ(FormatShortest15(0.1, s), WithSep("0.1", s));
    EXPECT_EQ(FormatShortest15(0.1 + 0.2, s), WithSep("0.3", s));
    EXPECT_EQ(FormatShortest15(1.0 / 3.0, s), WithSep("0.333333333333333", s));
    EXPECT_EQ(FormatShortest15(2.0, s), "2");
    EXPECT_EQ(FormatShortest15(0.001, s), WithSep("0.001", s));
    EXPECT_EQ(FormatShortest15(0.0001, s), WithSep("0.0001", s));
    EXPECT_EQ(FormatShortest15(0.00001, s), "1E-5");
    EXPECT_EQ(FormatShortest15(123456789012345.0, s), "123456789012345");
    EXPECT_EQ(FormatShortest15(1234567890123456.0, s), WithSep("1.23456789012346E+15", s));
    EXPECT_EQ(FormatShortest15(0.0, s), "0");
    EXPECT_EQ(FormatShortest15(-0.05, s), WithSep("-0.05", s));
    std::mt19937_64 rng(3);
    for (int i = 0; i < 2000; ++i) {
        const double x = RandomDouble(rng);
        ASSERT_EQ(FormatShortest15(x, s), FormatGeneral(x, 15, s));
    }
}

// ---------------------------------------------------------------- TextToFloat

TEST_P(NumberTextSep, TextToFloatAccepts) {
    const char s = GetParam();
    EXPECT_EQ(TextToFloat(WithSep("1.5", s), s), 1.5);
    EXPECT_EQ(TextToFloat(WithSep("  -1.5  ", s), s), -1.5);
    EXPECT_EQ(TextToFloat(WithSep("+1.5", s), s), 1.5);
    EXPECT_EQ(TextToFloat("42", s), 42.0);
    EXPECT_EQ(TextToFloat(WithSep("5.", s), s), 5.0);
    EXPECT_EQ(TextToFloat(WithSep(".5", s), s), 0.5);
    EXPECT_EQ(TextToFloat(WithSep("-.5", s), s), -0.5);
    EXPECT_EQ(TextToFloat(WithSep("5.E3", s), s), 5000.0);
    EXPECT_EQ(TextToFloat("1E5", s), 1e5);
    EXPECT_EQ(TextToFloat("1e+05", s), 1e5);
    EXPECT_EQ(TextToFloat(WithSep("-2.5E-3", s), s), -0.0025);
    EXPECT_EQ(TextToFloat(WithSep("1.2345E-5", s), s), 1.2345e-5);
    EXPECT_EQ(TextToFloat("007", s), 7.0);
    EXPECT_EQ(TextToFloat(WithSep("0.1", s), s), 0.1);
    EXPECT_EQ(TextToFloat(WithSep("0.1000000000000000055511151231257827021181583404541015625", s), s), 0.1);
    EXPECT_EQ(TextToFloat(WithSep("2.2250738585072011e-308", s), s), 2.2250738585072011e-308);
    EXPECT_EQ(TextToFloat(WithSep("1.7976931348623157E+308", s), s), DBL_MAX);
    EXPECT_EQ(TextToFloat("1e00000000000000000000000000000000000000005", s), 1e5);
    EXPECT_TRUE(std::signbit(TextToFloat("-0", s)));
}

TEST_P(NumberTextSep, TextToFloatUnderflowReadsAsZero) {
    const char s = GetParam();
    EXPECT_EQ(TextToFloat("1e-400", s), 0.0);
    const double negative = TextToFloat("-1e-400", s);
    EXPECT_EQ(negative, 0.0);
    EXPECT_TRUE(std::signbit(negative));
    EXPECT_EQ(TextToFloat(WithSep("0.000001e-320", s), s), 0.0);
    EXPECT_EQ(TextToFloat("5e-324", s), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(TextToFloat("1e-99999999999999999999", s), 0.0);
}

TEST_P(NumberTextSep, TextToFloatRejectsWithTheMessage) {
    const char s = GetParam();
    const char other = s == '.' ? ',' : '.';
    const std::string bad[] = {
        "",
        " ",
        "-",
        "+",
        std::string(1, s),
        "E5",
        "1e",
        "1e+",
        "1e-",
        "1 5",
        "1x",
        "x1",
        "inf",
        "-inf",
        "nan",
        "INF",
        "0x10",
        "1e999",
        "-1e999",
        "1.8e308",
        "\t1",
        "1\t",
        "1e5.5",
        "--1",
        "+-1",
        "1ee5",
        "1E5E5",
        "e",
        "$10",
        "1_000",
        std::string("1") + s + "5" + s + "5",
        std::string("1") + other + "5",
        std::string("1") + other + "000" + s + "5",
    };
    for (const std::string& text : bad) {
        try {
            TextToFloat(text, s);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid floating point value");
        }
    }
}

TEST(NumberText, TextToFloatOtherSeparatorFails) {
    EXPECT_THROW(TextToFloat("1.5", ','), ConversionError);
    EXPECT_THROW(TextToFloat("1,5", '.'), ConversionError);
    EXPECT_EQ(TextToFloat("1,5", ','), 1.5);
    EXPECT_EQ(TextToFloat("1.5", '.'), 1.5);
    try {
        TextToFloat(" 1.5 ", ',');
        FAIL();
    } catch (const HalvetraError& e) {
        EXPECT_STREQ(e.what(), "' 1.5 ' is not a valid floating point value");
    }
}

// ---------------------------------------------------------------- TextToInt

TEST(NumberText, TextToIntAccepts) {
    EXPECT_EQ(TextToInt("42"), 42);
    EXPECT_EQ(TextToInt("  -7  "), -7);
    EXPECT_EQ(TextToInt("+3"), 3);
    EXPECT_EQ(TextToInt("007"), 7);
    EXPECT_EQ(TextToInt("0"), 0);
    EXPECT_EQ(TextToInt("-0"), 0);
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_EQ(TextToInt("000000000000000000000000012"), 12);
}

TEST(NumberText, TextToIntRejectsWithTheMessage) {
    const std::string bad[] = {"",    " ",   "-",   "+",    "2147483648", "-2147483649", "99999999999999999999",
                               "1.0", "1,0", "1e3", "0x10", "$10",        "1 2",         "--1",
                               "+-1", "\t1", "abc", "1a",   "１"};
    for (const std::string& text : bad) {
        try {
            TextToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
        }
    }
}

// ---------------------------------------------------------------- ParseNumber

TEST(NumberText, ParseNumberExamples) {
    double v = 99.0;
    EXPECT_EQ(ParseNumber("1,5", ',', v), 0);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(ParseNumber("1.5", ',', v), 0);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(ParseNumber("-2,5E-3", ',', v), 0);
    EXPECT_EQ(v, -0.0025);
    EXPECT_EQ(ParseNumber(" 7", ',', v), 0);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(ParseNumber("5", ',', v), 0);
    EXPECT_EQ(v, 5.0);
    EXPECT_EQ(ParseNumber("+5", ',', v), 0);
    EXPECT_EQ(v, 5.0);
    EXPECT_EQ(ParseNumber("1.5e+3", ',', v), 0);
    EXPECT_EQ(v, 1500.0);
    EXPECT_EQ(ParseNumber("5,", ',', v), 0);
    EXPECT_EQ(v, 5.0);
    EXPECT_EQ(ParseNumber(",5", ',', v), 0);
    EXPECT_EQ(v, 0.5);
    EXPECT_EQ(ParseNumber("1e5", ',', v), 0);
    EXPECT_EQ(v, 1e5);
    EXPECT_EQ(ParseNumber("1,5", '.', v), 2);
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(ParseNumber("1.5", '.', v), 0);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(ParseNumber("1e-400", ',', v), 0);
    EXPECT_EQ(v, 0.0);
}

TEST(NumberText, ParseNumberErrorPositions) {
    struct Case {
        const char* text;
        int position;
    };
    const Case cases[] = {
        {"abc", 1}, {"", 1},    {"1,5,5", 4}, {"1.5,5", 4}, {"7 ", 2},       {" 7 ", 3}, {"1e", 3},   {"1e+", 4},
        {"1ex", 3}, {"-", 2},   {".", 2},     {",", 2},     {"1x", 2},       {"  ", 3},  {"--1", 2},  {"1 5", 2},
        {"\t1", 1}, {"inf", 1}, {"0x10", 2},  {"1e999", 1}, {"  -1e999", 3}, {"E5", 1},  {"+.e5", 3}, {"1;2", 2},
    };
    for (const Case& c : cases) {
        double v = 99.0;
        EXPECT_EQ(ParseNumber(c.text, ',', v), c.position) << "'" << c.text << "'";
        EXPECT_EQ(v, 0.0) << "'" << c.text << "'";
    }
}

// ---------------------------------------------------------------- Round trips

// Numbers A, B and the model values: what is written with either separator is
// read back by ParseNumber (comma) and by TextToFloat (same separator) as the
// value rounded to the precision, and a second save writes the same text.
TEST_P(NumberTextSep, GeneralRoundTripsThroughTheReaders) {
    const char s = GetParam();
    std::mt19937_64 rng(424242);
    int ties = 0;
    for (int precision : {8, 10, 12, 14, 15, 17}) {
        for (int i = 0; i < 20000; ++i) {
            const double x = RandomDouble(rng);
            const std::string text = FormatGeneral(x, precision, s);
            if (IsExactTie(x, precision)) {  // printf rounds those to even: away from zero instead
                const double away = RoundedAwayBy_printf(x, precision);
                double read = 0.0;
                ASSERT_EQ(ParseNumber(text, ',', read), 0) << text;
                ASSERT_EQ(read, away) << "x=" << x << " text=" << text;
                ASSERT_EQ(TextToFloat(text, s), away) << text;
                ASSERT_EQ(FormatGeneral(read, precision, s), text) << "x=" << x;
                ++ties;
                continue;
            }
            const double expected = RoundedBy_printf(x, precision);
            double read = 0.0;
            ASSERT_EQ(ParseNumber(text, ',', read), 0) << text;
            ASSERT_EQ(read, expected) << "x=" << x << " text=" << text;
            ASSERT_EQ(TextToFloat(text, s), expected) << text;
            ASSERT_EQ(FormatGeneral(read, precision, s), text) << "x=" << x;
            if (precision == 17) {
                ASSERT_EQ(read, x) << text;
            }
        }
    }
    EXPECT_GT(ties, 0);  // the wide sample holds half-integers and the like
}

TEST_P(NumberTextSep, FixedRoundTripsThroughTheReaders) {
    const char s = GetParam();
    std::mt19937_64 rng(77);
    for (int i = 0; i < 20000; ++i) {
        const double x = RandomDouble(rng);
        const int decimals = static_cast<int>(rng() % 7);
        const std::string text = FormatFixed(x, 15, decimals, s);
        const double read = TextToFloat(text, s);
        double parsed = 1.0;
        ASSERT_EQ(ParseNumber(text, ',', parsed), 0) << text;
        ASSERT_EQ(parsed, read);
        ASSERT_EQ(FormatFixed(read, 15, decimals, s), text) << "x=" << x;
    }
}

}  // namespace
}  // namespace halvetra
