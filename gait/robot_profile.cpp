#include "gait/robot_profile.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "gait/waveform.h"

namespace gp {

double ProfiledAngle(const ModuleProfile& module, double a) {
  double angle = std::clamp(a, module.min, module.max);
  if (module.reversed) angle = -angle;
  return angle + module.trim;
}

ProfileApplier::ProfileApplier(RobotProfile profile, ClipNotice onClip)
    : profile_(std::move(profile)), onClip_(std::move(onClip)) {}

void ProfileApplier::Tick(bool running) {
  if (running && !wasRunning_) {
    startedAt_ = now_;
    if (!clipped_.empty()) {
      clipped_.clear();
      if (onClipsChanged_) onClipsChanged_(clipped_);
    }
  }
  wasRunning_ = running;
}

double ProfileApplier::SwingScale() const {
  if (!(profile_.softStartS > 0)) return 1.0;
  return std::clamp((now_ - startedAt_) / profile_.softStartS, 0.0, 1.0);
}

double ProfileApplier::Map(int n, double gaitAngle, double centre) {
  const ModuleProfile& module = profile_.module(n);
  const double a = centre + SwingScale() * (gaitAngle - centre);
  heldAt_[static_cast<std::size_t>(n)] =
      a < module.min ? std::optional(module.min) : a > module.max ? std::optional(module.max) : std::nullopt;
  double angle = ProfiledAngle(module, a);
  auto& last = lastAngle_[static_cast<std::size_t>(n)];
  double& lastAt = lastAt_[static_cast<std::size_t>(n)];
  if (module.maxSpeedDegS && last) {
    const double reach = *module.maxSpeedDegS * std::max(0.0, now_ - lastAt);
    angle = std::clamp(angle, *last - reach, *last + reach);
  }
  last = angle;
  lastAt = now_;
  return angle;
}

void ProfileApplier::NotePulse(int n, std::int32_t pulse) {
  const std::optional<double> held = std::exchange(heldAt_[static_cast<std::size_t>(n)], std::nullopt);
  if (!held || std::find(clipped_.begin(), clipped_.end(), n) != clipped_.end()) return;
  // The speed limit may keep the servo short of the limit for a while.
  const auto atLimit = AngleToPulse(ProfiledAngle(profile_.module(n), *held));
  if (!atLimit || pulse != *atLimit) return;
  clipped_.insert(std::upper_bound(clipped_.begin(), clipped_.end(), n), n);
  if (onClip_) onClip_(n, *held);
  if (onClipsChanged_) onClipsChanged_(clipped_);
}

}  // namespace gp
