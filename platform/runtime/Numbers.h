// Reading numbers from text and the run-time's integer conversions.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace rt {

// The leading-number value of a text: blanks, tabs and line feeds are skipped
// wherever they stand; an optional sign, digits with at most one '.' as the
// decimal point (whatever the locale) and an optional exponent introduced by E
// or D are read; reading stops at the first other character. A text without a
// leading number reads as 0. "&H1F" and "&O17" read as hexadecimal and octal
// whole numbers. Never fails.
double leadingNumber(const QString& text);

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double v);
// Rounds to `decimals` places, halves to the even neighbour (0.125 -> 0.12).
double roundHalfEven(double v, int decimals);

// The run-time's CInt / CLng of a number: halves to even, Overflow (6) when the
// rounded value does not fit.
int16_t toInt16Checked(double v);
int32_t toInt32Checked(double v);
// 16-bit arithmetic that fails with Overflow instead of wrapping.
int16_t checkedInt16(int64_t v);
int32_t checkedInt32(int64_t v);

// Reads a whole text as a number the way the run-time's numeric conversions do:
// surrounding blanks allowed, an optional sign, digits with the given decimal
// separator (and '.' too), an optional exponent, &H / &O prefixes. Returns
// nothing when the text is not numeric.
std::optional<double> parseNumber(const QString& text, QChar decimalSeparator);

// General number form: up to `digits` significant digits (15 for doubles, 7 for
// singles), no trailing zeros after the separator, no grouping, the given
// decimal separator; exponent form ("1.5E+16", "1E-05") only where plain digits
// would not show the value.
QString formatGeneral(double v, QChar decimalSeparator, int digits = 15);

}  // namespace rt
