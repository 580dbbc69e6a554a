#include "sim/robot/live_robot.h"

#include <chrono>
#include <cmath>

#include "core/conversions.h"
#include "sim/controller/virtual_controller.h"

namespace gp::sim {

LiveRobot::LiveRobot(VirtualController& controller, std::unique_ptr<Robot> robot, QString source, QObject* parent)
    : QObject(parent),
      controller_(controller),
      robot_(std::make_unique<VirtualRobot>(std::move(robot))),
      source_(std::move(source)) {
  controller_.setCommandObserver([this](const DecodedCommand& command) { onCommand(command); });
  pace_.setTimerType(Qt::PreciseTimer);
  pace_.setInterval(kPaceMs);
  connect(&pace_, &QTimer::timeout, this, &LiveRobot::catchUp);
  pace_.start();
  reset();
}

LiveRobot::~LiveRobot() { controller_.setCommandObserver(nullptr); }

bool LiveRobot::load(const QString& robot, QString* error) {
  std::string why;
  std::unique_ptr<Robot> loaded = Robot::Load(robot.toStdString(), &why);
  if (!loaded) {
    if (error) *error = QString::fromStdString(why);
    return false;
  }
  robot_ = std::make_unique<VirtualRobot>(std::move(loaded));
  source_ = robot;
  reset();
  return true;
}

void LiveRobot::reset() {
  robot_->Reset();
  takeControllerState();
  originMs_ = controller_.nowMs();
  nextTrailMs_ = 0;
  trail_.clear();
  com_.clear();
  const auto com = robot_->robot().CentreOfMass();
  start_ = QPointF(com[0], com[1]);
  sample(0);
  emit robotChanged();
}

void LiveRobot::takeControllerState() {
  // The servos as the controller left them: a channel that is on holds, and
  // heads for its last position if it had one.
  const ControllerModel& model = controller_.model();
  for (int c = 0; c < kChannels; ++c) {
    const ChannelState& ch = model.channel(c);
    if (!ch.enabled) continue;
    DecodedCommand command;
    command.channel = c;
    command.kind = CommandKind::Enable;
    robot_->Apply(command);
    if (ch.hasPosition) {
      command.kind = CommandKind::Position;
      command.pulseWidth = ch.pulseWidth;
      robot_->Apply(command);
    }
  }
}

void LiveRobot::onCommand(const DecodedCommand& command) {
  // The physics first reaches the moment the command arrived.
  catchUp();
  robot_->Apply(command);
}

void LiveRobot::catchUp() {
  const auto start = std::chrono::steady_clock::now();
  const std::int64_t targetMs = controller_.nowMs() - originMs_;
  const double dt = robot_->robot().timestep();
  // At most a quarter second at once: after a stall (a debugger, a
  // suspended machine) the robot carries on from now instead of racing.
  robot_->AdvanceTo(static_cast<double>(targetMs) / 1000.0, static_cast<int>(0.25 / dt) + 1);
  const auto simMs = static_cast<std::int64_t>(std::llround(robot_->robot().time() * 1000.0));
  if (targetMs - simMs > 100) originMs_ += targetMs - simMs;
  sample(simMs);
  physicsTime_ += std::chrono::steady_clock::now() - start;
}

void LiveRobot::sample(std::int64_t simMs) {
  const Robot& r = robot_->robot();
  while (nextTrailMs_ <= simMs) {
    const auto head = r.HeadPosition();
    trail_.emplace_back(head[0], head[1]);
    if (trail_.size() > kTrailPoints) trail_.pop_front();
    nextTrailMs_ += kTrailEveryMs;
  }
  const auto com = r.CentreOfMass();
  com_.push_back({simMs, com[0], com[1]});
  while (com_.size() > 2 && com_[1].ms <= simMs - kSpeedWindowMs) com_.pop_front();
}

LiveRobot::Readout LiveRobot::readout() const {
  Readout out;
  const Robot& r = robot_->robot();
  out.seconds = r.time();
  const auto com = r.CentreOfMass();
  if (!com_.empty()) {
    const ComSample& first = com_.front();
    const ComSample& last = com_.back();
    if (last.ms > first.ms)
      out.speed = std::hypot(last.x - first.x, last.y - first.y) / (static_cast<double>(last.ms - first.ms) / 1000.0);
  }
  out.distance = std::hypot(com[0] - start_.x(), com[1] - start_.y());
  out.headingDeg = r.Heading() * 180.0 / kPi;
  out.periodSeconds = PeriodOnTheLine(controller_.model(), controller_.nowMs());
  if (out.periodSeconds && r.bodyLength() > 0) out.bodyLengthsPerPeriod = out.speed * *out.periodSeconds / r.bodyLength();
  return out;
}

std::optional<double> PeriodOnTheLine(const ControllerModel& model, std::int64_t nowMs) {
  constexpr double kHysteresisDeg = 2.0;
  constexpr std::int64_t kStaleMs = 1000;
  for (int c = 0; c < kChannels; ++c) {
    const ChannelState& ch = model.channel(c);
    if (!ch.enabled || ch.history.size() < 8 || ch.history.back().ms < nowMs - kStaleMs) continue;
    double lo = ch.history.front().angle, hi = lo;
    for (const AngleSample& s : ch.history) {
      lo = std::min(lo, s.angle);
      hi = std::max(hi, s.angle);
    }
    if (hi - lo < 2 * kHysteresisDeg) continue;
    const double mid = (lo + hi) / 2;
    // Upward crossings of the middle, each armed by a dip well below it.
    bool armed = false;
    std::int64_t first = -1, last = -1;
    int crossings = 0;
    for (const AngleSample& s : ch.history) {
      if (s.angle < mid - kHysteresisDeg) {
        armed = true;
      } else if (armed && s.angle >= mid) {
        armed = false;
        if (first < 0) first = s.ms;
        last = s.ms;
        ++crossings;
      }
    }
    if (crossings >= 2) return static_cast<double>(last - first) / 1000.0 / (crossings - 1);
  }
  return std::nullopt;
}

}  // namespace gp::sim
