#pragma once
// Every text form of a number that the system shows or stores, and the
// readers of number texts. The decimal separator is always a parameter: the
// pages pass the locale's, tests pass '.' and ','.
#include <string>
#include <string_view>

namespace halvetra {

// General format with at most `precision` significant digits: the value
// rounded to that many digits (exact ties away from zero), trailing zeros and a
// trailing separator dropped; fixed-point when the value is 0 or its magnitude
// is at least 0.0001 and its integer part has at most `precision` digits,
// otherwise scientific as in "1.2345E-5" / "1E+20" with at least
// `exponentDigits` exponent digits. "NAN", "INF", "-INF" for non-finite values.
std::string FormatGeneral(double value, int precision, char decimalSeparator, int exponentDigits = 1);

// Fixed format: the value rounded once, to at most `precision` significant
// digits and at most `decimals` decimals, then written with exactly `decimals`
// decimals. Scientific (general rules above, `precision` digits) when the
// integer part has more than `precision` digits.
std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator);

// The shortest text that reads back as the same double ("0.1", "1e-07"):
// for JSON output. Always with a point.
std::string FormatShortest(double value);

// The shortest decimal form with at most 15 significant digits, with the
// given separator (the sampling-time label of the Data page).
std::string FormatShortest15(double value, char decimalSeparator);

// Locale-aware conversion of an edit field or header value: optional blanks
// around, optional sign, digits with at most one `decimalSeparator`, optional
// exponent with E or e. Throws ConversionError
// "'<text>' is not a valid floating point value".
double TextToFloat(std::string_view text, char decimalSeparator);

// Optional blanks around, optional sign, decimal digits, within int range.
// Throws ConversionError "'<text>' is not a valid integer value".
int TextToInt(std::string_view text);

// Reader of data-row fields: when decimalChar is not '.', its first occurrence
// is replaced by '.'; the text is then read as leading blanks, optional sign,
// digits, optional fraction, optional exponent with E or e. Returns 0 and sets
// value when the whole text is a number; otherwise returns the 1-based position
// of the first character that could not be read (length + 1 when the text
// ends too early, 1 for an empty text) and sets value to 0.
int ParseNumber(std::string_view text, char decimalChar, double& value);

}  // namespace halvetra
