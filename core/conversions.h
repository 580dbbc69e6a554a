#pragma once
// Number conversions shared by every part of the panel. Plain standard C++.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gp {

// The circle's constant to a double's full precision, for the physics, the
// views and the pictures. The gait's waveform keeps its own, shortened one
// (kGaitPi in gait/waveform.h): the robot's gait was tuned with it.
constexpr double kPi = 3.14159265358979323846;

// Reads the number at the start of an entry box's text, leniently, and never
// fails. Blanks, tabs and line feeds are skipped wherever they stand. Then an
// optional sign, digits, an optional full stop and fraction digits and an
// optional exponent (E or D, optional sign, digits) are read; "&H" and "&O"
// (either case) read a hexadecimal or octal number instead. Reading stops at
// the first character that cannot continue the number; what was read so far
// is the value, and a text with no number at its start gives 0.
//
// The full stop is the decimal separator whatever the process locale.
// A number too large for a double gives an infinity of its sign (the caller's
// range checks then refuse it); one too small gives zero. The result is never
// "not a number".
double ParseNumber(std::string_view text);

// Rounds to the nearest whole number, a value exactly halfway going to the
// even neighbour (90.5 -> 90, 91.5 -> 92, -0.5 -> 0), independent of the
// floating-point rounding mode. A result outside the type, or a value that is
// not a number, has no result: each caller decides what that means.
std::optional<std::int16_t> NearestInt16(double value);
std::optional<std::int32_t> NearestInt32(double value);

// Decimal with a sign place: one blank before a number that is not negative,
// a minus sign before a negative one (0 -> " 0", -1 -> "-1").
std::string SignedDecimal(long long value);

// Plain decimal: no blank, a minus sign only for a negative number.
std::string PlainDecimal(long long value);

// Upper-case hexadecimal without leading zeros ("0" for 0). A negative value
// is written as the eight digits of its 32-bit two's complement.
std::string UpperHex(std::int32_t value);

// Numbers in sentences, reports and JSON. The full stop is the decimal
// separator whatever the process locale (the program's Qt half sets the
// locale from the environment, which printf would follow), and a value that
// is written as zero carries no minus sign ("-0.0" would say it was below
// zero). Not a number and infinities come out as "nan", "inf" and "-inf".
//
// With `digits` decimals, 0 to 100: FixedText(2.345, 1) -> "2.3".
std::string FixedText(double value, int digits);
// With `significant` digits, 1 to 17, as printf's %g: SignificantText(0.5236, 2) -> "0.52".
std::string SignificantText(double value, int significant);
// The shortest text that reads back as the same double: 0.1 -> "0.1".
std::string ShortestText(double value);

}  // namespace gp
