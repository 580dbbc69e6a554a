#pragma once
// A hobby servo as the controller drives it: a pulse width sets the target
// angle; the output shaft follows no faster than the servo's speed; a
// disabled servo is limp and an enabled one holds where it is until it is
// told a position. The torque limit belongs to the physics (the actuator's
// force range), which is where the shaft meets the load. Plain standard C++;
// angles in radians, time in seconds.

#include <cstdint>
#include <optional>

namespace gp::sim {

struct ServoRating {
  double minAngle = -1.5707963267948966;  // limits of the shaft, radians
  double maxAngle = 1.5707963267948966;
  double maxSpeed = 6.5449846949787;      // rad/s: 60 degrees in 0.16 s
  double maxTorque = 1.0;                 // N m
};

class HobbyServo {
 public:
  explicit HobbyServo(const ServoRating& rating = {}) : rating_(rating) {}

  // Power to the motor: the servo holds the shaft where it is now. A
  // position received while it was off is forgotten, as the electronics
  // of a real servo forget it.
  void Enable(double shaftAngle);
  // Power off: the shaft turns freely.
  void Disable();
  // A new pulse width: the target, within the shaft's limits. Ignored while
  // the servo is off.
  void SetPulse(std::int32_t pulseWidthUs);

  // Moves the commanded angle toward the target by at most the servo's speed
  // over dt and returns it; nothing while the servo is limp.
  std::optional<double> Advance(double dt);

  bool enabled() const { return enabled_; }
  double target() const { return target_; }
  const ServoRating& rating() const { return rating_; }

 private:
  ServoRating rating_;
  bool enabled_ = false;
  double target_ = 0.0;
  double commanded_ = 0.0;
};

// The panel's mapping back from the pulse width: 1500 us is the centre,
// 2000 us for every 180 degrees. Radians.
double PulseToRadians(std::int32_t pulseWidthUs);

}  // namespace gp::sim
