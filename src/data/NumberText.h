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
// The choice between fixed-point and scientific is made on the rounded value
// (its decimal exponent in [-4, precision - 1]), so 9999999999.6 at precision
// 10 gives "1E+10" and 0.000099999999999 at precision 10 gives "0.0001".
// Rounding works on the exact decimal expansion of the binary value: 0.125 is
// a tie (2 digits: "0.13"), the double nearest 0.15 is below one (1 digit:
// "0.1"). -0 gives "0". precision is taken as at least 1; exponentDigits as
// at least 1.
std::string FormatGeneral(double value, int precision, char decimalSeparator, int exponentDigits = 1);

// Fixed format: the value rounded once, to at most `precision` significant
// digits and at most `decimals` decimals, then written with exactly `decimals`
// decimals. Scientific (general rules above, `precision` digits) when the
// integer part has more than `precision` digits.
// "Rounded once" means to the coarser of the two limits, exact ties away from
// zero: (123456.789, 6, 3) gives "123457.000", (0.5, 15, 0) gives "1". A value
// that rounds to zero is written without a sign ("0.000" for -0.0004 with 3
// decimals). decimals is taken as at least 0 (no separator when 0);
// "NAN", "INF", "-INF" for non-finite values.
std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator);

// The floating-point error a value that is not finite stands for: "Invalid
// floating point operation" for NaN, "Floating point overflow" for an
// infinity; empty for a finite value.
std::string NonFiniteFault(double value);

// Throws FloatingPointError with NonFiniteFault(value) when value is not finite.
void RequireFinite(double value);

// FormatGeneral and FormatFixed for every text the pages show and the files
// store: a finite value gives exactly the same text, a value that is not
// finite throws FloatingPointError (RequireFinite) instead of "NAN"/"INF", so
// a command fails before the text reaches a label, an edit box or a file.
// For a text that names a value that is not finite instead of a number
// ("NAN", "INF", "-INF", "nan", "+inf", "Infinity", in any letter case, with
// blanks around): the floating-point error it stands for, as NonFiniteFault;
// empty for any other text. For writers that copy shown texts verbatim.
std::string NonFiniteTextFault(std::string_view text);

std::string FormatGeneralFinite(double value, int precision, char decimalSeparator, int exponentDigits = 1);
std::string FormatFixedFinite(double value, int precision, int decimals, char decimalSeparator);

// The shortest text that reads back as the same double ("0.1", "1e-07"):
// for JSON output. Always with a point, never locale-dependent. -0 gives "-0".
// A non-finite value has no JSON number: it gives the JSON literal "null".
std::string FormatShortest(double value);

// The shortest decimal form with at most 15 significant digits, with the
// given separator (the sampling-time label of the Data page). This is
// FormatGeneral(value, 15, decimalSeparator): the value rounded to 15
// significant digits, trailing zeros dropped.
std::string FormatShortest15(double value, char decimalSeparator);

// Locale-aware conversion of an edit field or header value: optional blanks
// around, optional sign, digits with at most one `decimalSeparator`, optional
// exponent with E or e. Throws ConversionError
// "'<text>' is not a valid floating point value".
// Blanks are spaces. Digits may be missing on one side of the separator ("5,"
// and ",5" read, "," alone does not); the exponent needs at least one digit.
// Nothing else is accepted: no thousands separators, no "inf"/"nan", no hex,
// and not the other separator ("1.5" fails when the separator is ','). The
// result is the nearest double; a magnitude beyond the largest double fails, one
// below the smallest subnormal reads as zero. An empty or all-blank text fails.
double TextToFloat(std::string_view text, char decimalSeparator);

// Optional blanks around, optional sign, decimal digits, within int range.
// Throws ConversionError "'<text>' is not a valid integer value".
// Blanks are spaces; no hex, no separators; leading zeros are fine.
int TextToInt(std::string_view text);

// Reader of data-row fields: when decimalChar is not '.', its first occurrence
// is replaced by '.'; the text is then read as leading blanks, optional sign,
// digits, optional fraction, optional exponent with E or e. Returns 0 and sets
// value when the whole text is a number; otherwise returns the 1-based position
// of the first character that could not be read (length + 1 when the text
// ends too early, 1 for an empty text) and sets value to 0.
// Blanks are spaces and only leading ones: a trailing blank is an error at its
// position. "1,5,5" with ',' is an error at 4 (only the first comma becomes a
// point). A number beyond the largest double is an error at the position of
// its first character after the blanks; one below the smallest subnormal
// reads as zero.
int ParseNumber(std::string_view text, char decimalChar, double& value);

}  // namespace halvetra
