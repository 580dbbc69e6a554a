#include "gait/robot_profile.h"

#include <algorithm>
#include <cmath>

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
    clipTold_.fill(false);
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
  if (a < module.min || a > module.max) {
    const double limit = a < module.min ? module.min : module.max;
    if (!clipTold_[static_cast<std::size_t>(n)]) {
      clipTold_[static_cast<std::size_t>(n)] = true;
      if (onClip_) onClip_(n, limit);
    }
  }
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

}  // namespace gp
