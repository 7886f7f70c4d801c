// Locale-independent number formatting and parsing with the C library's
// rules ("%d", "%04d", "%.0f", "%4.3E", atoi, atof).
//
// The process locale may use a decimal comma (Qt and many desktops set it),
// while files and reports must be byte-identical everywhere, so nothing here
// calls printf, strtod or anything else that reads the locale.
#pragma once

#include <string>
#include <string_view>

namespace oront {

// atoi: leading white space skipped, optional sign, decimal digits up to the
// first other character; 0 when there are none. Out-of-range values saturate.
int CAtoi(std::string_view text) noexcept;

// atof: leading white space skipped, the longest leading decimal (or hex,
// "inf", "nan") number; 0 when the text does not start with a number.
double CAtof(std::string_view text) noexcept;

// "%d"
std::string FormatInt(long long value);
// "%0<width>d": sign first, then zeros up to the field width.
std::string FormatZeroPad(long long value, int width);
// "%<width>d": blanks up to the field width.
std::string FormatSpacePad(long long value, int width);
// "%.<digits>d": at least that many digits (the sign not counted).
std::string FormatMinDigits(long long value, int digits);
// "%.0f"
std::string FormatFixed0(double value);
// "%4.3E" with an exponent of at least two digits (1.500E+08), as the
// program's two-digit exponent mode gives on every platform.
std::string FormatExp3(double value);

// The large-value rule: "%4.3E" above 99999999, otherwise "%.0f".
constexpr double kLargeValueLimit = 99999999.0;
std::string FormatLargeValue(double value);
// The large-value test of a stored text: the text read with atof; above
// 99999999 it becomes "%4.3E", otherwise the stored text stays unchanged.
std::string LargeValueText(std::string_view stored);

}  // namespace oront
