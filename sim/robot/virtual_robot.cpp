#include "sim/robot/virtual_robot.h"

#include <cmath>

namespace gp::sim {

VirtualRobot::VirtualRobot(std::unique_ptr<Robot> robot) : robot_(std::move(robot)) { Reset(); }

void VirtualRobot::Reset() {
  robot_->Reset();
  for (int n = 1; n <= kRobotModules; ++n)
    servos_[static_cast<std::size_t>(n)] = HobbyServo(robot_->hasServo(n) ? robot_->servoRating(n) : ServoRating{});
}

void VirtualRobot::Apply(const DecodedCommand& command) {
  if (command.channel < 0 || command.channel >= kChannels) return;
  const int module = command.channel + 1;
  HobbyServo& servo = servos_[static_cast<std::size_t>(module)];
  switch (command.kind) {
    case CommandKind::Enable:
      servo.Enable(robot_->JointAngle(module));
      break;
    case CommandKind::Disable:
      servo.Disable();
      break;
    case CommandKind::Position:
      servo.SetPulse(command.pulseWidth);
      break;
    case CommandKind::AllOn:
    case CommandKind::AllConfirm:
    case CommandKind::AllOff:
      break;
  }
}

void VirtualRobot::Step() {
  const double dt = robot_->timestep();
  for (int n = 1; n <= kRobotModules; ++n) robot_->SetServo(n, servos_[static_cast<std::size_t>(n)].Advance(dt));
  robot_->Step();
}

int VirtualRobot::AdvanceTo(double seconds, int maxSteps) {
  const double dt = robot_->timestep();
  int steps = 0;
  // Half a step of slack: the physics clock is a sum of steps and never
  // lands exactly on the caller's time.
  // A failed physics stands still: stepping it again would only fail again.
  while (steps < maxSteps && robot_->failure().empty() && robot_->time() + dt * 0.5 <= seconds) {
    Step();
    ++steps;
  }
  return steps;
}

}  // namespace gp::sim
