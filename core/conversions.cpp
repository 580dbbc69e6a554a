#include "core/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace gp {
namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Walks the text, skipping the ignored characters, one position at a time.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) { Skip(); }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  void Next() {
    ++pos_;
    Skip();
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
};

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

double ParseRadix(Cursor& cur, int base) {
  double value = 0.0;
  for (int d; (d = DigitValue(cur.Peek(), base)) >= 0; cur.Next()) value = value * base + d;
  return value;
}

// Exponents beyond this make every mantissa overflow or underflow anyway;
// clamping keeps the sum below from overflowing on absurd digit runs.
constexpr long kExponentClamp = 100000;

double ParseDecimal(Cursor& cur) {
  bool negative = false;
  if (cur.Peek() == '+' || cur.Peek() == '-') {
    negative = cur.Peek() == '-';
    cur.Next();
  }
  // Collect the significant digits without the blanks, then let from_chars
  // do the correctly rounded, locale-independent conversion.
  std::string digits;
  long pointShift = 0;  // decimal exponent contributed by the digits' layout
  bool anyDigit = false;
  for (; cur.Peek() >= '0' && cur.Peek() <= '9'; cur.Next()) {
    anyDigit = true;
    if (digits.empty() && cur.Peek() == '0') continue;
    if (digits.size() < 800) digits.push_back(cur.Peek());
    else ++pointShift;
  }
  if (cur.Peek() == '.') {
    cur.Next();
    for (; cur.Peek() >= '0' && cur.Peek() <= '9'; cur.Next()) {
      anyDigit = true;
      if (digits.empty() && cur.Peek() == '0') {
        --pointShift;
        continue;
      }
      if (digits.size() < 800) {
        digits.push_back(cur.Peek());
        --pointShift;
      }
    }
  }
  if (!anyDigit || digits.empty()) return 0.0;  // sign of zero is not kept

  long exponent = 0;
  const char e = cur.Peek();
  if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
    cur.Next();
    bool expNegative = false;
    if (cur.Peek() == '+' || cur.Peek() == '-') {
      expNegative = cur.Peek() == '-';
      cur.Next();
    }
    for (; cur.Peek() >= '0' && cur.Peek() <= '9'; cur.Next()) {
      if (exponent < kExponentClamp) exponent = exponent * 10 + (cur.Peek() - '0');
    }
    if (expNegative) exponent = -exponent;
  }
  const long total = exponent + pointShift;
  if (total > kExponentClamp) return negative ? -HUGE_VAL : HUGE_VAL;
  if (total < -kExponentClamp) return 0.0;

  const std::string canonical = digits + "e" + std::to_string(total);
  double value = 0.0;
  const auto res = std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Magnitude is about 10^(digit count + total): positive means overflow.
    const long magnitude = static_cast<long>(digits.size()) + total;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

// Halves go to the even neighbour. v - floor(v) is exact for every double.
double RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double frac = v - f;
  if (frac > 0.5) return f + 1.0;
  if (frac < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// What std::to_chars wrote, without the sign of a zero: "-0", "-0.000".
std::string WithoutNegativeZero(const char* begin, const char* end) {
  std::string text(begin, end);
  if (text.size() > 1 && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
  return text;
}

template <typename Int>
std::optional<Int> NearestInt(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = RoundHalfEven(value);
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    return std::nullopt;
  return static_cast<Int>(r);
}

}  // namespace

double ParseNumber(std::string_view text) {
  Cursor cur(text);
  if (cur.Peek() == '&') {
    cur.Next();
    const char p = cur.Peek();
    if (p == 'H' || p == 'h') {
      cur.Next();
      return ParseRadix(cur, 16);
    }
    if (p == 'O' || p == 'o') {
      cur.Next();
      return ParseRadix(cur, 8);
    }
    return 0.0;
  }
  return ParseDecimal(cur);
}

std::optional<std::int16_t> NearestInt16(double value) { return NearestInt<std::int16_t>(value); }
std::optional<std::int32_t> NearestInt32(double value) { return NearestInt<std::int32_t>(value); }

std::string SignedDecimal(long long value) {
  return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

std::string PlainDecimal(long long value) { return std::to_string(value); }

std::string FixedText(double value, int digits) {
  // The largest double has 309 digits before the point.
  char text[420];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, std::clamp(digits, 0, 100));
  return WithoutNegativeZero(text, written.ptr);
}

std::string SignificantText(double value, int significant) {
  char text[64];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, std::clamp(significant, 1, 17));
  return WithoutNegativeZero(text, written.ptr);
}

std::string ShortestText(double value) {
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, value);
  return WithoutNegativeZero(text, written.ptr);
}

std::string UpperHex(std::int32_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  if (bits == 0) return "0";
  std::string out;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  while (bits != 0) {
    out.insert(out.begin(), kDigits[bits & 0xFu]);
    bits >>= 4;
  }
  return out;
}

}  // namespace gp
