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
#include <vector>

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
  // Told whenever the set of modules clipped since the gait's start changes:
  // a module joins it, or a new start empties it.
  using ClipsChanged = std::function<void(const std::vector<int>& modules)>;

  explicit ProfileApplier(RobotProfile profile, ClipNotice onClip = nullptr);

  const RobotProfile& profile() const { return profile_; }
  void setClipNotice(ClipNotice onClip) { onClip_ = std::move(onClip); }
  void setClipsChanged(ClipsChanged onChange) { onClipsChanged_ = std::move(onChange); }

  // The time, in seconds on any steady clock, of the tick about to run.
  void setNow(double seconds) { now_ = seconds; }

  // Called by the gait tick once per tick with the run flag it read: a tick
  // that finds the gait moving after one that did not is a new start.
  void Tick(bool running);

  // The commanded angle for module n, given the gait's angle and the
  // module's centre angle (swings grow about it during the soft start).
  double Map(int n, double gaitAngle, double centre);

  // The pulse width that went out for module n on this tick, after Map. A
  // module is clipped when Map held its angle at a limit and the pulse sent
  // sits at that limit's pulse: the one rule that the status line, the robot
  // view and the channel table all show.
  void NotePulse(int n, std::int32_t pulse);

  // Modules 1 to 8 clipped since the gait last started, in order.
  const std::vector<int>& clipped() const { return clipped_; }

  // The swing's scale now: 0 at the start, 1 once the soft start is over.
  double SwingScale() const;

 private:
  RobotProfile profile_;
  ClipNotice onClip_;
  ClipsChanged onClipsChanged_;
  double now_ = 0;
  bool wasRunning_ = false;
  double startedAt_ = 0;
  std::array<std::optional<double>, kTableRows> lastAngle_{};
  std::array<double, kTableRows> lastAt_{};
  std::array<std::optional<double>, kTableRows> heldAt_{};  // the limit Map held the angle at this tick
  std::vector<int> clipped_;
};

}  // namespace gp
