#pragma once
// The physical robot: a head and a chain of modules whose joints are turned
// by servos, on a floor, under gravity. Takes each servo's commanded angle (or
// none: limp) and a step in time; reports where its parts are. The physics
// engine stays behind this class: nothing of it shows in this header.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gait/module_table.h"
#include "sim/robot/servo.h"

namespace gp::sim {

constexpr int kRobotModules = kModules;

// A part of the robot as the views draw it, in the world frame (metres).
struct RobotShape {
  enum class Kind { Box, Capsule, Sphere };
  Kind kind = Kind::Box;
  std::array<double, 3> pos{};   // centre
  std::array<double, 9> rot{};   // rotation, row-major: columns are the shape's axes
  std::array<double, 3> size{};  // box: half sizes; capsule: radius, half length; sphere: radius
  int module = 0;                // 0 for the head, 1 to 8 for the modules
  bool touchesFloor = false;     // a contact part rather than the body's outline
};

// How a floor grips the parts that touch it: the friction along each
// contact's first direction (along a runner, along a module) and across it.
struct Floor {
  double along = 0;
  double across = 0;
};

class Robot {
 public:
  // "snake", "caterpillar", "pitch-yaw", or the path of a model file. Nothing, with *error
  // naming the model and the reason, when the model cannot be used.
  static std::unique_ptr<Robot> Load(const std::string& robot, std::string* error);

  // The built-in robots' model text, which a person may copy and change.
  static std::optional<std::string> BuiltInModel(const std::string& name);
  // Their names, in the order people are offered them.
  static std::vector<std::string> BuiltInNames();

  ~Robot();
  Robot(const Robot&) = delete;
  Robot& operator=(const Robot&) = delete;

  const std::string& name() const;
  // Seen from above (joint axes vertical) or from the side.
  bool viewFromAbove() const;
  bool hasServo(int module) const;
  ServoRating servoRating(int module) const;  // module 1 to 8
  double bodyLength() const;              // metres, head to tail along the chain at rest

  // The commanded angle of a module's servo, or nothing: limp.
  void SetServo(int module, std::optional<double> commandedAngle);
  double JointAngle(int module) const;
  // The torque the module's servo gives now, N m (0 without a servo).
  double ServoTorque(int module) const;

  // Every contact pair of the model grips as `floor` does, or with nothing
  // as the model itself says; stays so through Reset. False, with *error
  // naming the model, when it has no contact pair a floor could set.
  bool SetFloor(const std::optional<Floor>& floor, std::string* error);

  // One fixed step of the physics; none once the physics has failed.
  void Step();
  // The physics library's error since the last Reset (a model it cannot
  // step, say), or empty. The robot then stands still until Reset.
  const std::string& failure() const;
  // The physics blew up since the last Reset (too stiff a model for its
  // step); its state then means nothing.
  bool diverged() const;
  double timestep() const;
  double time() const;
  // Back at rest where the model places it, time zero.
  void Reset();

  // The robot's centre of mass (metres).
  std::array<double, 3> CentreOfMass() const;
  // The mean direction of the chain in the floor plane, radians
  // counter-clockwise from +x, head first.
  double Heading() const;
  // Every body of the chain's forward axis in the floor plane (x, y), not
  // made unit: one that stands up steeply has a short one.
  std::vector<std::array<double, 2>> ForwardAxes() const;
  // The head module's centre (the body named "head", or the model's top body).
  std::array<double, 3> HeadPosition() const;
  std::vector<RobotShape> Shapes() const;
  // The middle module's orientation (row-major), to start RollSince from.
  std::array<double, 9> MiddleRotation() const;
  // How far the middle module has rolled about the chain's axis since its
  // orientation was `before` (radians, right-handed about the axis toward
  // the head: positive rolls the body toward its right); `before` becomes now.
  double RollSince(std::array<double, 9>& before) const;

 private:
  struct Engine;
  explicit Robot(std::unique_ptr<Engine> engine);
  std::unique_ptr<Engine> engine_;
};

}  // namespace gp::sim
