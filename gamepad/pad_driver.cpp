#include "gamepad/pad_driver.h"

#include <algorithm>
#include <cmath>

namespace gp {
namespace {

double Percent(double v) { return std::round(v * 100) / 100; }

}  // namespace

double StickValue(double raw) {
  if (!std::isfinite(raw)) return 0;
  const double size = std::min(std::abs(raw), 1.0);
  if (size <= kStickDeadZone) return 0;
  return std::copysign((size - kStickDeadZone) / (1 - kStickDeadZone), raw);
}

Steering SteeringOf(const PadReading& r) {
  Steering s;
  // Up is forward and left is a left turn; pads report both as negative.
  s.speed = Percent(-StickValue(r.leftY));
  s.turn = Percent(-StickValue(r.leftX));
  s.amplitude = Percent(std::isfinite(r.rightTrigger) ? std::clamp(r.rightTrigger, 0.0, 1.0) : 0.0);
  return ClampSteering(s);
}

void PadDriver::Attached(const std::string& name, double now) {
  attached_ = true;
  name_ = name;
  steady_ = false;
  last_ = {};
  steered_ = false;
  heard_ = now;
  silenceActed_ = false;
}

void PadDriver::Detached() {
  if (!attached_) return;
  attached_ = false;
  steady_ = false;
  last_ = {};
  if (actions_.moving()) actions_.Pause(PadPause::Unplugged);
}

void PadDriver::Heard(double now) {
  heard_ = now;
  silenceActed_ = false;
}

void PadDriver::Read(const PadReading& r) {
  if (!attached_) return;
  const PadReading was = last_;
  last_ = r;
  if (holdToDrive_ && was.rightShoulder && !r.rightShoulder && actions_.moving()) {
    actions_.Pause(PadPause::Released);
    return;
  }
  if (r.b && !was.b) actions_.Pause(PadPause::Button);
  if (r.y && !was.y) actions_.RelaxOrResume();
  if (r.a && !was.a) {
    if (mayDrive(r)) {
      actions_.Move();
    } else {
      actions_.Refused("hold the right shoulder button to drive (hold to drive is on)");
    }
  }
  // A fresh hold of the handle steers at once with what the stick asks.
  if (holdToDrive_ && r.rightShoulder && !was.rightShoulder) steered_ = false;
  if (!mayDrive(r)) return;
  const Steering asked = SteeringOf(r);
  if (steered_ && asked == lastAsked_) return;
  steered_ = true;
  lastAsked_ = asked;
  actions_.Steer(asked);
}

void PadDriver::Check(double now) {
  if (!attached_ || !steady_ || silenceActed_ || now - heard_ < kPadSilenceS) return;
  if (!actions_.moving()) return;
  silenceActed_ = true;
  actions_.Pause(PadPause::Silent);
}

}  // namespace gp
