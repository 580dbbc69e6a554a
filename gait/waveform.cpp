#include "gait/waveform.h"

#include <cmath>

#include "core/conversions.h"

namespace gp {

double GaitAngle(std::int16_t amplitude, double phase, std::int16_t initAngle, std::int16_t step) {
  if (amplitude < 10) return static_cast<double>(initAngle);
  const auto twiceStep = static_cast<std::int16_t>(2 * step);
  // The order of operations is part of the gait: keep it.
  const double x = (static_cast<double>(twiceStep) * kGaitPi) / 20.0 + (phase * kGaitPi) / 180.0;
  const double swing = static_cast<double>(amplitude) * std::sin(x);
  return swing + static_cast<double>(initAngle);
}

std::optional<std::int32_t> AngleToPulse(double angle) {
  const double factor = 2000.0 / 180.0;
  const double width = factor * angle + 1500.0;
  return NearestInt32(width);
}

std::string PulseText(std::int32_t pulseWidth) {
  const std::string hex = UpperHex(pulseWidth);
  // Compared as a signed number, so a negative width takes "00".
  return (pulseWidth <= 255 ? "00" : "0") + hex;
}

}  // namespace gp
