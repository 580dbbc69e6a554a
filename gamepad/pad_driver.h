#pragma once
// What a gamepad asks of the panel, and the rules that keep a robot driven
// from one safe. The left stick steers (up forward, down back, left and
// right the turn), the right trigger sets the amplitude, A presses "Move",
// B "Pause" and Y "Relax" (or "Resume"). A pad that goes away while the robot
// moves, or one that reports steadily and then falls silent for half a
// second, pauses it; so does letting go of the right shoulder button while
// "hold to drive" is on, which makes that button a dead man's handle: the
// stick steers and A moves only while it is held.
//
// Plain standard C++, told the time: the pad's library and the panel's
// timers stay outside, so the rules run on a simulated clock in tests.

#include <string>

#include "gait/live_gait.h"

namespace gp {

// How long a pad that reports steadily may fall silent while the robot moves.
constexpr double kPadSilenceS = 0.5;
// How far a stick may rest off centre and still count as centred.
constexpr double kStickDeadZone = 0.15;

// One reading of a pad. Sticks from -1 to 1, +x right and +y down as pads
// report them; the trigger from 0 (let go) to 1 (pulled fully).
struct PadReading {
  double leftX = 0;
  double leftY = 0;
  double rightTrigger = 0;
  bool a = false;
  bool b = false;
  bool y = false;
  bool rightShoulder = false;
};

// Why the pad paused the robot.
enum class PadPause { Button, Unplugged, Silent, Released };

// What the pad asks of the panel.
class PadActions {
 public:
  virtual ~PadActions() = default;
  // Whether the gait is moving (Running).
  virtual bool moving() const = 0;
  virtual void Steer(const Steering& asked) = 0;
  virtual void Move() = 0;
  virtual void Pause(PadPause why) = 0;
  virtual void RelaxOrResume() = 0;
  // A press that was not carried out, and why, for the person to see.
  virtual void Refused(const std::string& why) = 0;
};

// A stick's value with the dead zone taken out: 0 inside it, and from there
// to the end the full range again, so that the end of travel is still 1.
double StickValue(double raw);
// What a reading asks of the steering; speed and turn in steps of 1 %.
Steering SteeringOf(const PadReading& reading);

class PadDriver {
 public:
  explicit PadDriver(PadActions& actions) : actions_(actions) {}

  // "Hold to drive": the stick and A act only while the right shoulder
  // button is held, and letting go of it while the robot moves pauses.
  void setHoldToDrive(bool on) { holdToDrive_ = on; }
  bool holdToDrive() const { return holdToDrive_; }

  // A pad came (its name) or went.
  void Attached(const std::string& name, double now);
  void Detached();
  bool attached() const { return attached_; }
  const std::string& name() const { return name_; }

  // The pad reports without being touched (a pad with motion sensors does):
  // only then can its silence be told from a hand held still.
  void setReportsSteadily(bool on) { steady_ = on; }
  // Something came from the pad at `now`.
  void Heard(double now);
  // The pad's state after what was heard: acts on presses, releases and
  // a changed stick or trigger.
  void Read(const PadReading& reading);
  // Pauses a moving robot whose steadily reporting pad has been silent for
  // kPadSilenceS; call it often.
  void Check(double now);

  // The next reading steers again even where it asks what was last asked
  // (the steering was set from elsewhere meanwhile).
  void ForgetSteering() { steered_ = false; }

 private:
  bool mayDrive(const PadReading& r) const { return !holdToDrive_ || r.rightShoulder; }

  PadActions& actions_;
  bool holdToDrive_ = true;
  bool attached_ = false;
  bool steady_ = false;
  std::string name_;
  PadReading last_{};
  double heard_ = 0;
  bool silenceActed_ = false;
  bool steered_ = false;
  Steering lastAsked_{};
};

}  // namespace gp
