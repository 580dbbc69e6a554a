#pragma once
// The robot view's camera over the floor: follows the robot's centre of
// mass, fits its body length into the picture, and is turned so that the
// robot at rest lies with its head on the views' head side (a half turn about
// the vertical seen from above; the other side of the robot seen from the
// side, so the floor stays below). A turn, never a mirror image: a bend to
// the robot's left stays a bend to its left. Plain standard C++.

namespace gp::sim {

struct ScreenPoint {
  double x = 0;
  double y = 0;
};

struct ScreenRect {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

class FloorCamera {
 public:
  // For a robot of `bodyLength` metres whose centre of mass is at
  // (comU, comV) on the floor (seen from above: x and y; from the side: x),
  // drawn in `room` (pixels). `restHeadSign` is +1 when the head lies toward
  // +x of the centre of mass at rest, -1 when toward -x.
  static FloorCamera Follow(const ScreenRect& room, bool fromAbove, double bodyLength, double comU, double comV,
                            double restHeadSign);

  // A floor point (u, v; seen from the side v is the height) on the screen.
  ScreenPoint ToScreen(double u, double v) const;
  // The floor's coordinates in sight in `room`, smallest first.
  void InSight(const ScreenRect& room, double* uMin, double* uMax, double* vMin, double* vMax) const;
  double scale() const { return scale_; }  // pixels per metre

 private:
  ScreenPoint centre_;  // where the eye's point lands
  double eyeU_ = 0, eyeV_ = 0;
  double scale_ = 1;
  double flipU_ = 1;  // -1: the floor's +x runs to the left
  double flipV_ = 1;  // -1: the floor's +y (seen from above) runs down the screen
};

}  // namespace gp::sim
