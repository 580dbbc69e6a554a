#pragma once
// The controller's outputs on a robot: each decoded command reaches its
// channel's servo, and every physics step lets the servos move the joints.
// Used alike by the live window (wall-clock pace) and the headless runs
// (simulated clock). Plain standard C++.

#include <array>
#include <memory>

#include "sim/controller/command_decoder.h"
#include "sim/robot/robot.h"
#include "sim/robot/servo.h"

namespace gp::sim {

class VirtualRobot {
 public:
  explicit VirtualRobot(std::unique_ptr<Robot> robot);

  // Enable, disable and position reach channels 0 to 7 (modules 1 to 8).
  // "SO", "SC", "SF" and the ninth channel move nothing: what they do to a
  // real controller is not known.
  void Apply(const DecodedCommand& command);

  // One physics step.
  void Step();
  // Steps until the physics has caught up with `seconds` of simulated time
  // since the last reset; at most maxSteps at once so that a stalled caller
  // does not then freeze catching up. Returns the steps taken.
  int AdvanceTo(double seconds, int maxSteps);

  // At rest where the model places it; every servo off, as at power-up.
  void Reset();

  Robot& robot() { return *robot_; }
  const Robot& robot() const { return *robot_; }
  const HobbyServo& servo(int module) const { return servos_.at(static_cast<std::size_t>(module)); }

 private:
  std::unique_ptr<Robot> robot_;
  std::array<HobbyServo, kRobotModules + 1> servos_;  // index 0 unused
};

}  // namespace gp::sim
