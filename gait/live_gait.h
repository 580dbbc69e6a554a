#pragma once
// Changing the gait while it moves without jolting a servo, and steering it.
//
// Every module's swing is held as one complex number, its amplitude turned by
// its phase: the angle is the centre plus the imaginary part of the swing
// times e^(i wave), the wave advancing 18 degrees a step. A change of gait
// (another gait opened, a behaviour's next step, a steering input) moves each
// swing along the straight line from the old one to the new one, and each
// centre likewise, over a blend time. How far a servo moves because of the
// change, between two positions, is then exactly the length of that piece of
// line plus the centre's move, so the blend is made long enough, and slowed
// tick by tick where two changes overlap, that this stays within the servo's
// speed limit. A swing that turns half round passes through nothing on the way
// (its amplitude eases down and up again) instead of sweeping the whole
// circle, and the wave's own motion never jumps, whatever the phase step does.
//
// Steering scales and bends the gait the table holds (the base): the wave's
// speed from standing to the base's own and backward, a common centre offset
// (the turn), and the amplitude from half the base's to its own.
//
// Without steering and with no change under way the gait tick computes the
// waveform itself, so the bytes are those of a gait that never knew this.
// Plain standard C++, told the time.

#include <array>
#include <complex>
#include <cstdint>

#include "gait/module_table.h"
#include "gait/robot_profile.h"

namespace gp {

constexpr double kDefaultBlendS = 1.0;
// How fast a change of gait may move a servo whose robot profile sets no speed.
constexpr double kDefaultChangeSpeedDegS = 60.0;
// The turn's centre offset at full left or right.
constexpr double kMaxTurnDeg = 15.0;
constexpr double kMaxBlendS = 60.0;

// What the steering asks for. speed: -1 full back, 0 standing, 1 the base's
// own wave forward; turn: -1 full right, 1 full left; amplitude: 0 half the
// base's, 1 the base's own.
struct Steering {
  double speed = 1;
  double turn = 0;
  double amplitude = 1;
  bool operator==(const Steering& o) const {
    return speed == o.speed && turn == o.turn && amplitude == o.amplitude;
  }
};

// Steering asked for from time t (seconds) until the next row's.
struct SteeringRow {
  double t = 0;
  Steering steering;
};

// Within the ranges above; a value that is not a number counts as the neutral one.
Steering ClampSteering(Steering s);

// The centre offset in degrees for a turn; a left turn (positive) swings the
// chain counter-clockwise, seen from above, which takes negative centres.
double TurnOffsetDeg(double turn);

// The amplitude scale for the steering's amplitude input: 0.5 to 1.
double AmplitudeScale(double amplitude);

// Each module's limit for a change of gait: its profile's speed, or the
// default where it sets none or there is no profile.
std::array<double, kModules> ChangeSpeedLimits(const RobotProfile* profile);

struct ModuleSwing {
  std::complex<double> swing;  // amplitude e^(i phase), degrees
  double centre = 0;           // degrees
};
using Swings = std::array<ModuleSwing, kModules>;  // modules 1 to 8 at 0 to 7

// What the gait tick makes of the table's rows: amplitudes below 10 do not swing.
ModuleSwing SwingOf(const ModuleTable& table, int n);
Swings SwingsOf(const ModuleTable& table);

// A module's swing as the boxes show it: amplitude, phase (degrees, the one
// nearest `nearPhase`) and centre.
struct BoxValues {
  double amplitude = 0;
  double phase = 0;
  double centre = 0;
};
BoxValues BoxValuesOf(const ModuleSwing& swing, double nearPhase);

class LiveGait {
 public:
  LiveGait();

  // Each module's speed limit in degrees a second (modules 1 to 8 at 0 to 7).
  void setSpeedLimits(const std::array<double, kModules>& degS);
  double speedLimit(int n) const { return limits_[static_cast<std::size_t>(n - 1)]; }

  // The panel changes the gait to what `target` holds: from what is in force
  // (the table `current` when nothing is being shaped) over at least blendS.
  // While the gait does not move, the target is in force at the next tick.
  void BlendTo(const ModuleTable& current, const ModuleTable& target, double blendS);
  // The operator typed into module n's boxes: its row of `table` is in
  // force at the next tick, and its part of any blend is over.
  void TakeRow(const ModuleTable& table, int n);

  void SetDriving(bool on, const ModuleTable& table);
  bool driving() const { return driving_; }
  // What the inputs ask; while driving it comes in over the blend time.
  void Steer(Steering asked, double blendS);
  Steering asked() const { return asked_; }
  Steering inForce() const { return steer_; }

  // Whether the tick takes its angles from here rather than the waveform.
  bool active() const;
  // Whether a change of module n's base is under way.
  bool blending(int n) const;
  bool blending() const { return baseT_ > 0; }
  // The base in force for module n (before the steering scales and bends it).
  const ModuleSwing& base(int n) const { return base_[static_cast<std::size_t>(n - 1)]; }
  const ModuleSwing& baseTarget(int n) const { return baseTo_[static_cast<std::size_t>(n - 1)]; }

  // The time, in seconds on any steady clock, of the tick about to run.
  void setNow(double seconds) { now_ = seconds; }
  // Once per gait tick, with the run flag the tick read and the table (the
  // base to return to once steering ends).
  void Tick(const ModuleTable& table, bool running);

  // Module n's angle at the step and the centre it swings about, as in force.
  double Angle(int n, std::int16_t step) const;
  double Centre(int n) const;

 private:
  void PlanBase(double blendS);
  void PlanSteering(double blendS);
  void Fold(const ModuleTable& table);
  std::complex<double> InForce(int n) const;

  std::array<double, kModules> limits_{};
  Swings base_{};     // in force
  Swings baseFrom_{};
  Swings baseTo_{};
  double baseDone_ = 0, baseT_ = 0;  // seconds run of a blend of baseT_ (0: none)

  bool driving_ = false;
  Steering asked_{};
  Steering steer_{};
  Steering steerFrom_{};
  double steerDone_ = 0, steerT_ = 0;
  double blendS_ = kDefaultBlendS;

  double wave_ = 0;  // degrees the wave leads the step counter's
  bool shaping_ = false;  // base_ holds the gait in force (else the table does)
  bool wasRunning_ = false;
  double now_ = 0;
  double lastNow_ = 0;
};

}  // namespace gp
