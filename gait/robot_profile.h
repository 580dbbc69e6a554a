#pragma once
// A robot profile: what each module's mechanics allow (limits), how its servo
// is mounted (trim, direction) and how fast it may be turned, and how gently
// a gait starts. It describes the robot, not the gait, and sits between the
// gait's angle and the pulse conversion. Plain standard C++.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "gait/module_table.h"

namespace gp {

// Limits and trim are degrees of the gait's angle; a profile keeps every
// limit, and every limit with its trim added, within this.
constexpr double kProfileAngleLimit = 90.0;
constexpr double kMaxSoftStartS = 10.0;

struct ModuleProfile {
  double min = -kProfileAngleLimit;
  double max = kProfileAngleLimit;
  double trim = 0;
  bool reversed = false;
  std::optional<double> maxSpeedDegS;  // degrees a second the command may move at most
};

struct RobotProfile {
  std::string name;
  std::string notes;
  double softStartS = 0;  // seconds over which swings grow from nothing after "Move"
  std::array<ModuleProfile, kModules> modules{};  // modules 1 to 8 in order

  const ModuleProfile& module(int n) const { return modules[static_cast<std::size_t>(n - 1)]; }
};

// The angle the servo is commanded for the gait's angle `a`: clamped to the
// module's limits, negated where the module is mounted the other way round,
// then the trim added.
double ProfiledAngle(const ModuleProfile& module, double a);

// A profile at work on one run of the gait: it remembers what it last sent
// each module and when, so that the speed limit holds across ticks, and
// when the gait last began to move, for the soft start.
class ProfileApplier {
 public:
  // Told once per module and start of the gait that it is being clipped, with
  // the limit it was clipped at.
  using ClipNotice = std::function<void(int module, double limit)>;

  explicit ProfileApplier(RobotProfile profile, ClipNotice onClip = nullptr);

  const RobotProfile& profile() const { return profile_; }
  void setClipNotice(ClipNotice onClip) { onClip_ = std::move(onClip); }

  // The time, in seconds on any steady clock, of the tick about to run.
  void setNow(double seconds) { now_ = seconds; }

  // Called by the gait tick once per tick with the run flag it read: a tick
  // that finds the gait moving after one that did not is a new start.
  void Tick(bool running);

  // The commanded angle for module n, given the gait's angle and the
  // module's centre angle (swings grow about it during the soft start).
  double Map(int n, double gaitAngle, double centre);

  // The swing's scale now: 0 at the start, 1 once the soft start is over.
  double SwingScale() const;

 private:
  RobotProfile profile_;
  ClipNotice onClip_;
  double now_ = 0;
  bool wasRunning_ = false;
  double startedAt_ = 0;
  std::array<std::optional<double>, kTableRows> lastAngle_{};
  std::array<double, kTableRows> lastAt_{};
  std::array<bool, kTableRows> clipTold_{};
};

}  // namespace gp
