#include "sim/robot/floor_camera.h"

#include <algorithm>

#include "sim/controller/head_end.h"

namespace gp::sim {

FloorCamera FloorCamera::Follow(const ScreenRect& room, bool fromAbove, double bodyLength, double comU, double comV,
                                double restHeadSign) {
  FloorCamera c;
  const double length = std::max(0.2, bodyLength);
  c.scale_ = std::min(room.width / (1.6 * length), room.height / (fromAbove ? 0.9 * length : 0.5 * length));
  c.centre_ = {room.left + room.width / 2, room.top + room.height / 2};
  // Seen from the side the floor stays a quarter up from the bottom.
  if (!fromAbove) c.centre_.y = room.bottom() - room.height * 0.25;
  c.eyeU_ = comU;
  c.eyeV_ = fromAbove ? comV : 0.0;
  c.flipU_ = HeadwardToScreenX(restHeadSign < 0 ? -1.0 : 1.0);
  c.flipV_ = fromAbove ? c.flipU_ : 1.0;
  return c;
}

ScreenPoint FloorCamera::ToScreen(double u, double v) const {
  return {centre_.x + flipU_ * (u - eyeU_) * scale_, centre_.y - flipV_ * (v - eyeV_) * scale_};
}

void FloorCamera::InSight(const ScreenRect& room, double* uMin, double* uMax, double* vMin, double* vMax) const {
  const double u0 = eyeU_ + (room.left - centre_.x) / (flipU_ * scale_);
  const double u1 = eyeU_ + (room.right() - centre_.x) / (flipU_ * scale_);
  const double v0 = eyeV_ - (room.top - centre_.y) / (flipV_ * scale_);
  const double v1 = eyeV_ - (room.bottom() - centre_.y) / (flipV_ * scale_);
  *uMin = std::min(u0, u1);
  *uMax = std::max(u0, u1);
  *vMin = std::min(v0, v1);
  *vMax = std::max(v0, v1);
}

}  // namespace gp::sim
