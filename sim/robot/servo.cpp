#include "sim/robot/servo.h"

#include <algorithm>
#include <cmath>

#include "core/conversions.h"

namespace gp::sim {

double PulseToRadians(std::int32_t pulseWidthUs) {
  return (static_cast<double>(pulseWidthUs) - 1500.0) * kPi / 2000.0;
}

void HobbyServo::Enable(double shaftAngle) {
  if (enabled_) return;  // already holding or moving: a repeated enable changes nothing
  enabled_ = true;
  commanded_ = std::clamp(shaftAngle, rating_.minAngle, rating_.maxAngle);
  target_ = commanded_;
}

void HobbyServo::Disable() { enabled_ = false; }

void HobbyServo::SetPulse(std::int32_t pulseWidthUs) {
  if (!enabled_) return;
  target_ = std::clamp(PulseToRadians(pulseWidthUs), rating_.minAngle, rating_.maxAngle);
}

std::optional<double> HobbyServo::Advance(double dt) {
  if (!enabled_) return std::nullopt;
  const double reach = std::max(0.0, rating_.maxSpeed * dt);
  commanded_ += std::clamp(target_ - commanded_, -reach, reach);
  return commanded_;
}

}  // namespace gp::sim
