#include "sim/headless_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <memory>
#include <utility>

#include "core/conversions.h"
#include "core/json_writer.h"
#include "gait/gait_tick.h"
#include "gait/operator_sequence.h"
#include "gait/waveform.h"
#include "protocol/command_sink.h"
#include "protocol/protocol.h"
#include "protocol/transmit_queue.h"
#include "sim/controller/controller_model.h"

namespace gp::sim {
namespace {

using Ns = std::chrono::nanoseconds;
constexpr std::int64_t kPathEveryMs = 500;

// The serial line between the panel and the controller. Paced, it is the
// transmit queue handing commands over no faster than 9600 baud carries them;
// each command reaches the controller when its last byte has crossed.
// Ideal, every command arrives the moment it is written.
//
// It also tells which positions bring a servo a gait step it has not had:
// every position is marked with the number of gait ticks so far when it is
// written (a refresh re-sends the last tick's step), and the queue holds only
// the newest position of a channel, so what it hands over carries the mark of
// the channel's last write.
class SimulatedLine : public CommandSink {
 public:
  explicit SimulatedLine(bool ideal) : ideal_(ideal) {}

  void setNow(Ns now) { now_ = now; }
  void setStep(std::uint64_t step) { step_ = step; }

  void Write(ServoCommand command) override {
    const int channel = TrackedChannel(command);
    if (channel >= 0) written_[static_cast<std::size_t>(channel)] = step_;
    if (ideal_) arriving_.push_back({now_, std::move(command.bytes), channel, step_});
    else queue_.Push(std::move(command), now_);
  }

  // Hands over whatever the line is ready for up to `until`, each at the
  // moment it becomes ready.
  void Carry(Ns until) {
    Ns at = now_;
    while (const auto due = queue_.NextDue(at)) {
      if (*due > until) break;
      at = *due;
      auto entry = queue_.Take(at);
      if (!entry) break;
      const int channel = TrackedChannel(entry->command);
      const std::uint64_t step = channel >= 0 ? written_[static_cast<std::size_t>(channel)] : 0;
      arriving_.push_back({queue_.LineIdleAt(), std::move(entry->command.bytes), channel, step});
    }
  }

  // Passes every command that has arrived by `now` to the controller.
  void Deliver(Ns now, ControllerModel& controller) {
    while (!arriving_.empty() && arriving_.front().at <= now) {
      Arrival& a = arriving_.front();
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(a.at).count();
      controller.Feed(a.bytes, ms);
      if (a.channel >= 0) {
        const auto c = static_cast<std::size_t>(a.channel);
        if (a.step > delivered_[c]) ++newSteps_[c];
        delivered_[c] = std::max(delivered_[c], a.step);
      }
      arriving_.pop_front();
    }
  }

  // Per channel: positions that brought a step the servo had not had.
  const std::array<std::uint64_t, kRobotModules>& newSteps() const { return newSteps_; }

 private:
  struct Arrival {
    Ns at;
    std::string bytes;
    int channel;         // -1: not a position of channels 0 to 7
    std::uint64_t step;  // gait ticks before it was written
  };

  static int TrackedChannel(const ServoCommand& command) {
    return command.IsPosition() && command.channel >= 0 && command.channel < kRobotModules ? command.channel : -1;
  }

  bool ideal_;
  Ns now_{0};
  std::uint64_t step_ = 0;
  TransmitQueue queue_;
  std::deque<Arrival> arriving_;
  std::array<std::uint64_t, kRobotModules> written_{};
  std::array<std::uint64_t, kRobotModules> delivered_{};
  std::array<std::uint64_t, kRobotModules> newSteps_{};
};

// A timer started at time zero: when it next ticks.
struct Ticker {
  Ns interval;
  Ns next;
  bool Due(Ns now) {
    if (next > now) return false;
    next += interval;
    return true;
  }
};

// The mean turn of the bodies from `before` to `now` (radians, counter-
// clockwise positive); `before` becomes `now`.
double TurnSince(std::vector<std::array<double, 2>>& before, std::vector<std::array<double, 2>> now) {
  double turn = 0, weight = 0;
  for (std::size_t b = 0; b < std::min(before.size(), now.size()); ++b) {
    const auto& p = before[b];
    const auto& q = now[b];
    const double w = std::min(std::hypot(p[0], p[1]), std::hypot(q[0], q[1]));
    if (!(w > 1e-9)) continue;
    // The angle from p to q, between -pi and pi.
    turn += w * std::atan2(p[0] * q[1] - p[1] * q[0], p[0] * q[0] + p[1] * q[1]);
    weight += w;
  }
  before = std::move(now);
  return weight > 0 ? turn / weight : 0;
}



}  // namespace

std::optional<HeadlessResult> RunHeadless(const ModuleTable& table, int intervalMs, const HeadlessOptions& options,
                                          std::string* error) {
  std::unique_ptr<Robot> robot = Robot::Load(options.robot, error);
  if (!robot) return std::nullopt;
  return RunHeadless(table, intervalMs, std::move(robot), options, error);
}

std::optional<HeadlessResult> RunHeadless(const ModuleTable& input, int intervalMs, std::unique_ptr<Robot> loaded,
                                          const HeadlessOptions& options, std::string* error) {
  if (!loaded) {
    if (error) *error = "no robot";
    return std::nullopt;
  }
  VirtualRobot robot(std::move(loaded));
  return RunHeadless(input, intervalMs, robot, options, error);
}

std::optional<HeadlessResult> RunHeadless(const ModuleTable& input, int intervalMs, VirtualRobot& robot,
                                          const HeadlessOptions& options, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  if (intervalMs <= 0) return fail("the gait interval must be at least 1 ms");
  if (!(options.seconds > 0) || !std::isfinite(options.seconds)) return fail("the run must last a positive time");
  robot.Reset();
  ControllerModel controller;
  Ns clock{0};
  controller.setCommandObserver([&robot, &options, &clock](const DecodedCommand& command) {
    robot.Apply(command);
    if (options.onPosition && command.kind == CommandKind::Position)
      options.onPosition(command.channel, (command.pulseWidth - 1500) * 180.0 / 2000.0,
                         static_cast<double>(clock.count()) / 1e9);
  });
  SimulatedLine line(options.idealLine);

  ModuleTable table = input;
  GaitState state;
  const double periodSeconds = kStepsPerPeriod * intervalMs / 1000.0;
  const double softStart = options.softStartS   ? *options.softStartS
                           : options.profile    ? options.profile->softStartS
                                                : periodSeconds;
  if (!(softStart >= 0) || !std::isfinite(softStart)) return fail("the soft start must last 0 s or more");
  std::optional<ProfileApplier> profile;
  if (options.profile || softStart > 0) {
    // Without a profile of its own the gait goes through one that leaves
    // every angle as it is and only grows the swings.
    RobotProfile p = options.profile.value_or(RobotProfile{});
    p.softStartS = softStart;
    profile.emplace(std::move(p));
  }
  std::string floorWhy;
  if (!robot.robot().SetFloor(options.floor, &floorWhy)) return fail(floorWhy);
  LiveGait live;
  live.setSpeedLimits(ChangeSpeedLimits(options.profile ? &*options.profile : nullptr));
  if (!options.drive.empty()) live.SetDriving(true, table);
  std::size_t nextStep = 0, nextRow = 0;

  StartGait(table, state, line);

  const double dt = robot.robot().timestep();
  const Ns step(std::llround(dt * 1e9));
  if (step <= Ns(0)) return fail(robot.robot().name() + ": the physics step is too short");
  const auto steps = static_cast<std::int64_t>(std::llround(options.seconds / dt));
  Ticker gaitClock{std::chrono::milliseconds(intervalMs), std::chrono::milliseconds(intervalMs)};
  Ticker refreshClock{std::chrono::milliseconds(kDesignIntervalMs), std::chrono::milliseconds(kDesignIntervalMs)};
  Ticker pathClock{std::chrono::milliseconds(kPathEveryMs), Ns(0)};

  HeadlessResult result;
  result.robot = robot.robot().name();
  result.idealLine = options.idealLine;
  result.intervalMs = intervalMs;
  result.periodSeconds = periodSeconds;
  result.softStartS = softStart;
  result.bodyLength = robot.robot().bodyLength();
  const auto start = robot.robot().CentreOfMass();
  const double startHeading = robot.robot().Heading();

  // The heading is averaged over the last gait period, so that where in its
  // swing the body happens to be at the end does not count.
  const std::int64_t headingFrom = steps - std::min<std::int64_t>(steps, std::llround(result.periodSeconds / dt));
  double heading = startHeading, headingSum = 0;
  std::int64_t headingSamples = 0;
  std::vector<std::array<double, 2>> axes = robot.robot().ForwardAxes();
  const std::int64_t servoFrom =
      std::min<std::int64_t>(steps, std::llround(std::max(softStart, result.periodSeconds) / dt));
  result.servoFigures = static_cast<double>(steps - servoFrom) * dt >= 2 * result.periodSeconds - dt / 2;
  const std::int64_t halfway = steps / 2;
  std::array<double, 3> atHalfway = start;
  std::array<double, 9> middle = robot.robot().MiddleRotation();
  double roll = 0;
  std::array<std::int64_t, kRobotModules> limitedSteps{};
  const ErrorBox noBox;  // the sine never errs; other control functions are not in gait files
  std::uint64_t gaitTicks = 0;

  for (std::int64_t k = 0; k <= steps; ++k) {
    const Ns now = step * k;
    clock = now;
    line.setNow(now);
    line.Deliver(now, controller);
    // The two timers in the order they fall due, the gait clock first on a tie.
    while (gaitClock.next <= now || refreshClock.next <= now) {
      if (gaitClock.next <= refreshClock.next) {
        gaitClock.next += gaitClock.interval;
        const double t = static_cast<double>(now.count()) / 1e9;
        if (profile) profile->setNow(t);
        while (nextStep < options.steps.size() && options.steps[nextStep].startS <= t + 1e-9) {
          const GaitStep& next = options.steps[nextStep++];
          // A step from the start is the gait the run began with.
          if (next.startS <= 0) {
            result.stepStarts.push_back({next.number, next.name, 0.0});
            continue;
          }
          ModuleTable target = table;
          for (int n = kFirstModule; n <= kLastModule; ++n) {
            target.Amp[n] = next.table.Amp[n];
            target.Phase[n] = next.table.Phase[n];
            target.InitAngle[n] = next.table.InitAngle[n];
          }
          live.BlendTo(table, target, next.blendS);
          table = target;
          // The new interval from the next tick on, as TimerText sets it.
          gaitClock.interval = std::chrono::milliseconds(next.intervalMs);
          gaitClock.next = now + gaitClock.interval;
          result.stepStarts.push_back({next.number, next.name, t});
        }
        bool steered = false;
        while (nextRow < options.drive.size() && options.drive[nextRow].t <= t + 1e-9) {
          ++nextRow;
          steered = true;
        }
        if (steered) live.Steer(options.drive[nextRow - 1].steering, kDefaultBlendS);
        live.setNow(t);
        line.setStep(++gaitTicks);
        GaitTick(table, state, line, noBox, profile ? &*profile : nullptr, &live);
      } else {
        refreshClock.next += refreshClock.interval;
        PositionRefresh(table, state, line);
      }
    }
    line.Carry(now + step - Ns(1));
    line.Deliver(now, controller);

    const auto com = robot.robot().CentreOfMass();
    if (pathClock.Due(now)) result.path.push_back({static_cast<double>(now.count()) / 1e9, com[0] - start[0], com[1] - start[1]});
    // How far the chain has turned: each body's own turn since the last
    // step, weighted by how flat it lies, averaged. Counted step by step, a
    // robot turning round and round is not cut at 180 degrees. The direction
    // of the chain's mean axis would not do: a chain curled into a ring has
    // none, and the wave running round the ring would spin it many times a
    // second with no body turning.
    heading += TurnSince(axes, robot.robot().ForwardAxes());
    roll += robot.robot().RollSince(middle);
    if (k == halfway) atHalfway = com;
    if (k >= headingFrom) {
      headingSum += heading;
      ++headingSamples;
    }
    if (k >= servoFrom) {
      for (int n = 1; n <= kRobotModules; ++n) {
        const HobbyServo& servo = robot.servo(n);
        if (!servo.enabled() || !robot.robot().hasServo(n)) continue;
        const auto c = static_cast<std::size_t>(n - 1);
        const double gap = std::abs(servo.target() - robot.robot().JointAngle(n)) * 180.0 / kPi;
        result.peakTrackingErrorDeg[c] = std::max(result.peakTrackingErrorDeg[c], gap);
        if (std::abs(robot.robot().ServoTorque(n)) >= servo.rating().maxTorque * (1 - 1e-6)) ++limitedSteps[c];
      }
    }
    if (k == steps) break;
    robot.Step();
    if (!robot.robot().failure().empty())
      return fail(robot.robot().name() + ": the physics failed at " + FixedText(robot.robot().time(), 3) +
                  " s: " + robot.robot().failure());
    if (robot.robot().diverged())
      return fail(robot.robot().name() + ": the physics became unstable at " + FixedText(robot.robot().time(), 3) + " s");
  }

  const auto end = robot.robot().CentreOfMass();
  const double dx = end[0] - start[0], dy = end[1] - start[1];
  result.seconds = static_cast<double>(steps) * dt;
  result.distance = std::hypot(dx, dy);
  result.speed = result.distance / result.seconds;
  const double lastHalf = static_cast<double>(steps - halfway) * dt;
  result.steadySpeed = lastHalf > 0 ? std::hypot(end[0] - atHalfway[0], end[1] - atHalfway[1]) / lastHalf : 0;
  result.rollDeg = roll * 180.0 / kPi;
  result.forward = dx * std::cos(startHeading) + dy * std::sin(startHeading);
  result.lateral = -dx * std::sin(startHeading) + dy * std::cos(startHeading);
  result.bodyLengthsPerPeriod = result.bodyLength > 0 ? result.speed * result.periodSeconds / result.bodyLength : 0;
  result.headingChangeDeg = (headingSum / static_cast<double>(headingSamples) - startHeading) * 180.0 / kPi;
  for (std::size_t i = 1; i < result.path.size(); ++i)
    result.pathLength += std::hypot(result.path[i][1] - result.path[i - 1][1], result.path[i][2] - result.path[i - 1][2]);
  for (int c = 0; c < kRobotModules; ++c) result.positions[static_cast<std::size_t>(c)] = controller.channel(c).positions;
  result.newSteps = line.newSteps();
  for (std::size_t c = 0; c < limitedSteps.size(); ++c)
    result.torqueLimitedShare[c] = static_cast<double>(limitedSteps[c]) / static_cast<double>(steps + 1 - servoFrom);
  if (!result.servoFigures) {
    result.peakTrackingErrorDeg.fill(0);
    result.torqueLimitedShare.fill(0);
  }
  return result;
}

double PerPeriod(const HeadlessResult& r, std::uint64_t count) {
  return r.seconds > 0 ? static_cast<double>(count) * r.periodSeconds / r.seconds : 0;
}

std::optional<double> FewestSwingingPositions(const ModuleTable& table, const HeadlessResult& r) {
  std::optional<double> fewest;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (!IsTrue(table.ServoEnabled[n]) || table.Amp[n] < kSwingingAmplitude) continue;
    const double perPeriod = PerPeriod(r, r.positions[static_cast<std::size_t>(n - 1)]);
    fewest = fewest ? std::min(*fewest, perPeriod) : perPeriod;
  }
  return fewest;
}

std::string HeadlessJson(const HeadlessResult& r) {
  JsonWriter j;
  j.BeginObject();
  j.Key("robot").String(r.robot);
  j.Key("line").String(r.idealLine ? "ideal" : "9600");
  j.Key("seconds").Fixed(r.seconds, 3);
  j.Key("interval_ms").Integer(r.intervalMs);
  j.Key("period_s").Fixed(r.periodSeconds, 3);
  j.Key("soft_start_s").Fixed(r.softStartS, 3);
  j.Key("body_length_m").Fixed(r.bodyLength, 4);
  j.Key("distance_m").Fixed(r.distance, 4);
  j.Key("speed_m_s").Fixed(r.speed, 4);
  j.Key("steady_speed_m_s").Fixed(r.steadySpeed, 4);
  j.Key("path_length_m").Fixed(r.pathLength, 4);
  j.Key("forward_m").Fixed(r.forward, 4);
  j.Key("lateral_m").Fixed(r.lateral, 4);
  j.Key("body_lengths_per_period").Fixed(r.bodyLengthsPerPeriod, 4);
  j.Key("heading_change_deg").Fixed(r.headingChangeDeg, 2);
  j.Key("roll_deg").Fixed(r.rollDeg, 2);
  j.Key("path").BeginArray();
  for (const auto& [t, x, y] : r.path) j.BeginArray().Fixed(t, 1).Fixed(x, 4).Fixed(y, 4).EndArray();
  j.EndArray();
  j.Key("channels").BeginArray();
  for (std::size_t c = 0; c < r.positions.size(); ++c) {
    j.BeginObject();
    j.Key("channel").Integer(static_cast<long long>(c));
    j.Key("positions").Integer(static_cast<long long>(r.positions[c]));
    j.Key("positions_per_s").Fixed(static_cast<double>(r.positions[c]) / r.seconds, 2);
    j.Key("positions_per_period").Fixed(PerPeriod(r, r.positions[c]), 2);
    j.Key("steps_per_period").Fixed(PerPeriod(r, r.newSteps[c]), 2);
    // Figures from too short a run are not given rather than made up.
    if (r.servoFigures) {
      j.Key("peak_tracking_error_deg").Fixed(r.peakTrackingErrorDeg[c], 2);
      j.Key("torque_limited_share").Fixed(r.torqueLimitedShare[c], 4);
    } else {
      j.Key("peak_tracking_error_deg").Null();
      j.Key("torque_limited_share").Null();
    }
    j.EndObject();
  }
  j.EndArray();
  if (!r.stepStarts.empty()) {
    j.Key("steps").BeginArray();
    for (const auto& step : r.stepStarts) {
      j.BeginObject();
      j.Key("step").Integer(step.number);
      j.Key("gait").String(step.gait);
      j.Key("start_s").Fixed(step.startS, 3);
      j.EndObject();
    }
    j.EndArray();
  }
  j.EndObject();
  return j.text() + "\n";
}

}  // namespace gp::sim
