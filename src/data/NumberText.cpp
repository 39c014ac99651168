// Number texts: every text form of a number the system shows or stores, and their readers.
//
// Every formatter starts from the exact decimal expansion of the binary value
// (a double has at most 767 significant decimal digits; std::to_chars prints
// them exactly), rounds that digit string once, half away from zero, and then
// builds the text itself with the separator it was given. Nothing here
// depends on the C locale.
#include "data/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "data/Errors.h"

namespace halvetra {

namespace {

// The text as a message quotes it. A NUL byte (a file's value may hold one)
// would end the message where the message box and standard error read it; it
// is shown as \0 and the rest of the text follows.
std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\0')
            quoted += "\\0";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Enough significant digits to hold the exact decimal expansion of any double
// (the longest, of a subnormal, has 767).
constexpr int ExactDigits = 770;

// Precision beyond this changes nothing (every exact digit is kept anyway);
// the bound only keeps the exponent arithmetic far from int overflow.
constexpr int MaxPrecision = 800;

// A non-negative decimal number digits[0].digits[1..] x 10^exponent, digits
// without leading or trailing zeros. Zero has no digits.
struct Decimal {
    std::string digits;
    int exponent = 0;
    bool IsZero() const { return digits.empty(); }
};

void StripTrailingZeros(Decimal& d) {
    const auto last = d.digits.find_last_not_of('0');
    if (last == std::string::npos) {
        d.digits.clear();
        d.exponent = 0;
    } else {
        d.digits.resize(last + 1);
    }
}

// The exact decimal value of |value| (value finite).
Decimal ExactDecimal(double value) {
    Decimal d;
    value = std::fabs(value);
    if (value == 0.0) return d;
    char buffer[ExactDigits + 16];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, ExactDigits);
    // "d.ddd...e+XX" / "d.ddd...e-XXX"
    const char* p = buffer;
    const char* end = result.ptr;
    const char* e = std::find(p, end, 'e');
    d.digits.reserve(static_cast<std::size_t>(e - p));
    for (; p != e; ++p) {
        if (*p != '.') d.digits.push_back(*p);
    }
    ++e;
    if (*e == '+') ++e;  // from_chars takes '-' but not '+'
    std::from_chars(e, end, d.exponent);
    StripTrailingZeros(d);
    return d;
}

// x rounded to a multiple of 10^position, exact ties away from zero (x holds
// exact digits, so a first dropped digit of 5 or more means at least half).
Decimal RoundAt(const Decimal& x, int position) {
    if (x.IsZero()) return x;
    const long long keep = static_cast<long long>(x.exponent) - position + 1;  // digits kept
    if (keep >= static_cast<long long>(x.digits.size())) return x;
    Decimal r;
    if (keep < 0) return r;  // below a tenth of the rounding unit: zero
    if (keep == 0) {
        if (x.digits[0] >= '5') {
            r.digits = "1";
            r.exponent = position;
        }
        return r;
    }
    const auto k = static_cast<std::size_t>(keep);
    r.digits = x.digits.substr(0, k);
    r.exponent = x.exponent;
    if (x.digits[k] >= '5') {
        std::size_t i = k;
        while (i > 0 && r.digits[i - 1] == '9') {
            r.digits[i - 1] = '0';
            --i;
        }
        if (i == 0) {  // 99..9 became 100..0
            r.digits.insert(r.digits.begin(), '1');
            ++r.exponent;
        } else {
            ++r.digits[i - 1];
        }
    }
    StripTrailingZeros(r);
    return r;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

// Fixed-point text of d (non-zero or zero), with at least minDecimals digits
// after the separator; no separator when there are no decimals.
std::string FixedText(const Decimal& d, bool negative, char separator, int minDecimals) {
    std::string integerPart;
    std::string fraction;
    if (d.IsZero()) {
        integerPart = "0";
    } else if (d.exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(d.exponent) + 1;
        if (d.digits.size() <= integerDigits) {
            integerPart = d.digits;
            integerPart.append(integerDigits - d.digits.size(), '0');
        } else {
            integerPart = d.digits.substr(0, integerDigits);
            fraction = d.digits.substr(integerDigits);
        }
    } else {
        integerPart = "0";
        fraction.assign(static_cast<std::size_t>(-d.exponent - 1), '0');
        fraction += d.digits;
    }
    if (fraction.size() < static_cast<std::size_t>(std::max(minDecimals, 0)))
        fraction.append(static_cast<std::size_t>(minDecimals) - fraction.size(), '0');

    std::string text;
    if (negative && !d.IsZero()) text.push_back('-');
    text += integerPart;
    if (!fraction.empty()) {
        text.push_back(separator);
        text += fraction;
    }
    return text;
}

// Scientific text of a non-zero d: "d.dddE+x", mantissa without trailing
// zeros, exponent with sign and at least exponentDigits digits.
std::string ScientificText(const Decimal& d, bool negative, char separator, int exponentDigits) {
    std::string text;
    if (negative) text.push_back('-');
    text.push_back(d.digits[0]);
    if (d.digits.size() > 1) {
        text.push_back(separator);
        text.append(d.digits, 1);
    }
    text.push_back('E');
    text.push_back(d.exponent < 0 ? '-' : '+');
    std::string exponent = std::to_string(d.exponent < 0 ? -d.exponent : d.exponent);
    const auto width = static_cast<std::size_t>(std::max(exponentDigits, 1));
    if (exponent.size() < width) text.append(width - exponent.size(), '0');
    text += exponent;
    return text;
}

// General-format text of r, the value already rounded to `precision`
// significant digits.
std::string GeneralText(const Decimal& r, bool negative, int precision, char separator, int exponentDigits) {
    if (r.IsZero()) return "0";
    if (r.exponent >= -4 && r.exponent <= precision - 1) return FixedText(r, negative, separator, 0);
    return ScientificText(r, negative, separator, exponentDigits);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A scanned number: sign, mantissa digits around the (optional) decimal mark,
// optional exponent. Positions are 0-based indices into the scanned text.
struct Scan {
    bool ok = false;
    std::size_t errorIndex = 0;   // first character that could not be read (== size: ended too early)
    std::size_t numberStart = 0;  // first character after the leading blanks
    bool negative = false;
    std::string_view intDigits;
    std::string_view fracDigits;
    bool exponentNegative = false;
    std::string_view exponentDigits;
};

// Leading blanks (when allowed), optional sign, digits, optional `mark` and
// digits (at least one digit in all), optional E/e, optional sign and at least
// one digit. Stops at the first character that does not fit; the caller
// decides what may follow.
Scan ScanNumber(std::string_view text, char mark, bool leadingBlanks) {
    Scan s;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (leadingBlanks)
        while (i < n && text[i] == ' ') ++i;
    s.numberStart = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        s.negative = text[i] == '-';
        ++i;
    }
    std::size_t start = i;
    while (i < n && IsDigit(text[i])) ++i;
    s.intDigits = text.substr(start, i - start);
    if (i < n && text[i] == mark) {
        ++i;
        start = i;
        while (i < n && IsDigit(text[i])) ++i;
        s.fracDigits = text.substr(start, i - start);
    }
    if (s.intDigits.empty() && s.fracDigits.empty()) {
        s.errorIndex = i;
        return s;
    }
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            s.exponentNegative = text[i] == '-';
            ++i;
        }
        start = i;
        while (i < n && IsDigit(text[i])) ++i;
        s.exponentDigits = text.substr(start, i - start);
        if (s.exponentDigits.empty()) {
            s.errorIndex = i;
            return s;
        }
    }
    s.ok = true;
    s.errorIndex = i;  // where the number ended
    return s;
}

// The double nearest to a scanned number (ties to even, as std::from_chars).
// False when its magnitude is beyond the largest double; a magnitude below
// the smallest subnormal reads as a zero of the number's sign.
bool ScanValue(const Scan& s, double& value) {
    std::string normal;
    normal.reserve(s.intDigits.size() + s.fracDigits.size() + s.exponentDigits.size() + 6);
    if (s.negative) normal.push_back('-');
    if (s.intDigits.empty())
        normal.push_back('0');
    else
        normal += s.intDigits;
    normal.push_back('.');
    if (s.fracDigits.empty())
        normal.push_back('0');
    else
        normal += s.fracDigits;
    if (!s.exponentDigits.empty()) {
        normal.push_back('e');
        if (s.exponentNegative) normal.push_back('-');
        normal += s.exponentDigits;
    }
    double result = 0.0;
    const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), result, std::chars_format::general);
    if (r.ec == std::errc() && r.ptr == normal.data() + normal.size()) {
        value = result;
        return true;
    }
    if (r.ec != std::errc::result_out_of_range) return false;
    // Out of range: overflow or underflow? Decimal exponent of the leading
    // non-zero digit, with the written exponent saturated.
    long long written = 0;
    for (char c : s.exponentDigits) {
        written = std::min(written * 10 + (c - '0'), 100000000LL);
    }
    if (s.exponentNegative) written = -written;
    long long leading;
    const auto firstInt = s.intDigits.find_first_not_of('0');
    if (firstInt != std::string_view::npos) {
        leading = static_cast<long long>(s.intDigits.size() - firstInt) - 1;
    } else {
        const auto firstFrac = s.fracDigits.find_first_not_of('0');
        if (firstFrac == std::string_view::npos) {  // all zeros: cannot be out of range
            value = s.negative ? -0.0 : 0.0;
            return true;
        }
        leading = -static_cast<long long>(firstFrac) - 1;
    }
    if (leading + written < 0) {
        value = s.negative ? -0.0 : 0.0;
        return true;
    }
    return false;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string FormatGeneral(double value, int precision, char decimalSeparator, int exponentDigits) {
    if (!std::isfinite(value)) return NonFinite(value);
    precision = std::clamp(precision, 1, MaxPrecision);
    const Decimal x = ExactDecimal(value);
    if (x.IsZero()) return "0";
    const Decimal r = RoundAt(x, x.exponent - precision + 1);
    return GeneralText(r, value < 0, precision, decimalSeparator, exponentDigits);
}

std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator) {
    if (!std::isfinite(value)) return NonFinite(value);
    precision = std::clamp(precision, 1, MaxPrecision);
    decimals = std::max(decimals, 0);
    const Decimal x = ExactDecimal(value);
    if (x.IsZero()) return FixedText(x, false, decimalSeparator, decimals);
    const int position = std::max(x.exponent - precision + 1, -decimals);
    const Decimal r = RoundAt(x, position);
    if (!r.IsZero() && r.exponent + 1 > precision) {
        // More integer digits than the precision: the rounding above was to
        // `precision` significant digits, the same as the general format's.
        return ScientificText(r, value < 0, decimalSeparator, 1);
    }
    return FixedText(r, value < 0, decimalSeparator, decimals);
}

std::string NonFiniteFault(double value) {
    if (std::isnan(value)) return "Invalid floating point operation";
    if (std::isinf(value)) return "Floating point overflow";
    return {};
}

std::string NonFiniteTextFault(std::string_view text) {
    std::string word;
    for (const char c : TrimBlanks(text)) word.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    if (!word.empty() && (word[0] == '+' || word[0] == '-')) word.erase(0, 1);
    if (word == "nan") return NonFiniteFault(std::numeric_limits<double>::quiet_NaN());
    if (word == "inf" || word == "infinity") return NonFiniteFault(std::numeric_limits<double>::infinity());
    return {};
}

void RequireFinite(double value) {
    if (!std::isfinite(value)) throw FloatingPointError(NonFiniteFault(value));
}

std::string FormatGeneralFinite(double value, int precision, char decimalSeparator, int exponentDigits) {
    RequireFinite(value);
    return FormatGeneral(value, precision, decimalSeparator, exponentDigits);
}

std::string FormatFixedFinite(double value, int precision, int decimals, char decimalSeparator) {
    RequireFinite(value);
    return FormatFixed(value, precision, decimals, decimalSeparator);
}

std::string FormatShortest(double value) {
    if (!std::isfinite(value)) return "null";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatShortest15(double value, char decimalSeparator) { return FormatGeneral(value, 15, decimalSeparator); }

double TextToFloat(std::string_view text, char decimalSeparator) {
    const std::string_view body = TrimBlanks(text);
    const Scan s = ScanNumber(body, decimalSeparator, false);
    double value = 0.0;
    if (body.empty() || !s.ok || s.errorIndex != body.size() || !ScanValue(s, value))
        throw ConversionError(Quoted(text) + " is not a valid floating point value");
    return value;
}

int TextToInt(std::string_view text) {
    const std::string_view body = TrimBlanks(text);
    std::size_t i = 0;
    std::string normal;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
        if (body[i] == '-') normal.push_back('-');
        ++i;
    }
    const std::size_t digitsStart = i;
    while (i < body.size() && IsDigit(body[i])) ++i;
    int value = 0;
    bool ok = i > digitsStart && i == body.size();
    if (ok) {
        normal.append(body.substr(digitsStart));
        const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
        ok = r.ec == std::errc() && r.ptr == normal.data() + normal.size();
    }
    if (!ok) throw ConversionError(Quoted(text) + " is not a valid integer value");
    return value;
}

int ParseNumber(std::string_view text, char decimalChar, double& value) {
    value = 0.0;
    // Most row fields are numbers std::from_chars reads whole as they stand:
    // a digit or a minus and a digit first, a point as the mark. Such a text
    // is one this reader takes too, and the same decimal value gives the same
    // double; anything else (blanks, '+', a comma, an error, a number out of
    // range) goes the long way. A decimal character std::from_chars could
    // take as part of a number always goes the long way.
    const bool markOutsideNumbers =
        decimalChar == '.' || std::string_view("0123456789+-eE").find(decimalChar) == std::string_view::npos;
    if (markOutsideNumbers && !text.empty() &&
        (IsDigit(text[0]) || (text[0] == '-' && text.size() > 1 && IsDigit(text[1])))) {
        double result = 0.0;
        const char* end = text.data() + text.size();
        const auto r = std::from_chars(text.data(), end, result, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == end) {
            value = result;
            return 0;
        }
    }
    // The text is copied only when a decimal character is to become a point;
    // a row field usually fits the buffer on the stack.
    const auto at = decimalChar == '.' ? std::string_view::npos : text.find(decimalChar);
    char buffer[64];
    std::string longer;
    std::string_view copy = text;
    if (at != std::string_view::npos) {
        char* target = buffer;
        if (text.size() > sizeof buffer) {
            longer.assign(text);
            target = longer.data();
        } else {
            std::copy(text.begin(), text.end(), buffer);
        }
        target[at] = '.';
        copy = std::string_view(target, text.size());
    }
    const Scan s = ScanNumber(copy, '.', true);
    if (!s.ok || s.errorIndex != copy.size()) return static_cast<int>(s.errorIndex) + 1;
    double result = 0.0;
    if (!ScanValue(s, result)) return static_cast<int>(s.numberStart) + 1;
    value = result;
    return 0;
}

}  // namespace halvetra
