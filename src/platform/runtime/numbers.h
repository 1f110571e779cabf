// Numbers to text and back, text forms of every value, and display pictures.
//
// Str and Val are the machine-readable pair: Str always writes "." as the
// decimal point and Val always reads it, whatever the regional separators.
// Transform is the display form and uses SetDecimalSep / SetThousandSep.
//
// Rounding is half away from zero on the shortest decimal form of a double
// (the digits that print back to the same double), so 2.675 rounds to 2.68
// and 1.005 to 1.01, as they read, although neither is exact in binary.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/usual.h"

namespace rt {

// Widths and decimals asked of Str are cut to this many positions.
inline constexpr int kMaxNumWidth = 1024;

// A number right-aligned in a field.
//  - Str(n): integers take 10 positions; a float takes its own stored width
//    and decimals where set, else 10 integer positions, the point and
//    SetDecimal() decimals (13 in all by default), so that integers and floats
//    line up. With SetFixed(true) floats always show SetDecimal() decimals.
//    A number longer than its default field widens it; it is never cut.
//  - Str(n, width): 0 decimals. Str(n, width, decimals): as asked.
//    A width below 1 means the default field. A number that does not fit the
//    asked width gives that many asterisks, or scientific notation
//    ("1.2E+15") under SetScience(true) when that fits.
// Infinite and NaN values give asterisks. A negative number that rounds to
// zero shows no minus sign. A value that is not a number raises an argument
// error and gives "".
std::string Str(const Usual& n);
std::string Str(const Usual& n, int width);
std::string Str(const Usual& n, int width, int decimals);

// The leading number of a text after leading spaces: optional sign, digits,
// optional "." and digits, optional exponent ("e" or "E", optional sign,
// digits). Without a point and exponent the result is an integer (a float
// when the digits do not fit 64 bits); otherwise a float that remembers how
// many decimals the text had (with an exponent: the decimals of the value
// written out, "1.5e3" 0, "1e-2" 2). Text that does not start with a number
// ("abc", "", "-", ".") gives the integer 0.
Usual Val(std::string_view text);

// Str(n) without its blanks.
std::string NTrim(const Usual& n);

// The text form of any value:
//   string as it is; integer as its digits; float as NTrim (with its
//   decimals); logic ".T." / ".F."; date DToC; nil "NIL"; symbol its name;
//   array "{[n]}" with n its length; object "{CLASSNAME}" ("NULL_OBJECT" for
//   a null reference); code block "{|| ... }"; pointer "0x" and the address
//   in upper-case hex, two digits per address byte.
std::string AsString(const Usual& v);

// The value shown under a display picture: "@functions template" or just a
// template. See docs/runtime-text-dates.md for the functions and template
// characters supported for numbers, strings, dates and logic values.
std::string Transform(const Usual& value, std::string_view picture);

}  // namespace rt
