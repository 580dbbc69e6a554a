// libFuzzer target: ParseNumber must never crash, never yield "not a number",
// and must agree with itself when the blanks are taken out of its input.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/conversions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double v = gp::ParseNumber(text);
  if (std::isnan(v)) std::abort();

  std::string squeezed;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n') squeezed.push_back(c);
  const double w = gp::ParseNumber(squeezed);
  if (!(v == w)) std::abort();

  // Whatever the parse gives, the conversions either fit or say they do not.
  if (const auto i = gp::NearestInt16(v)) {
    if (std::abs(static_cast<double>(*i) - v) > 0.5) std::abort();
  }
  if (const auto i = gp::NearestInt32(v)) {
    if (std::abs(static_cast<double>(*i) - v) > 0.5) std::abort();
  }
  return 0;
}
