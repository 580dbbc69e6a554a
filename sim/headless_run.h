#pragma once
// A gait on the virtual robot without windows or waiting: the panel's gait
// tick and position refresh, the transmit queue on a 9600-baud line (or an
// ideal line on which every command arrives at once), the controller's
// decoder, the servos and the physics, all on one simulated clock. The same
// input gives the same result, however busy the machine. Plain standard C++.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gait/live_gait.h"
#include "gait/module_table.h"
#include "gait/robot_profile.h"
#include "sim/robot/robot.h"
#include "sim/robot/virtual_robot.h"

namespace gp::sim {

// A gait that takes over from the one before at startS, blended in over blendS.
struct GaitStep {
  int number = 1;  // its place in the behaviour, from 1
  double startS = 0;
  std::string name;
  ModuleTable table;  // amplitude, phase and centre; the enabled modules are the run's
  int intervalMs = 50;
  double blendS = kDefaultBlendS;
};

struct HeadlessOptions {
  std::string robot = "snake";  // "snake", "caterpillar", "pitch-yaw" or a model file
  double seconds = 10;
  bool idealLine = false;
  std::optional<RobotProfile> profile;  // the gait goes through it, as in the panel
  // Seconds over which every swing grows from nothing after the start, as a
  // profile's soft start does in the panel. Nothing: the profile's, or
  // without one a gait period; 0: none, the bytes of a panel without a profile.
  std::optional<double> softStartS;
  // The floor's grip, or nothing for the model's own.
  std::optional<Floor> floor;
  std::vector<SteeringRow> drive;          // steering on the simulated clock, from 0 s; none if empty
  // Gaits after the first, each entered at its time through the blend the
  // panel gives a gait opened while it moves.
  std::vector<GaitStep> steps;
  // Sees every position as the controller takes it: channel, angle asked for
  // (degrees) and the simulated time in seconds.
  std::function<void(int channel, double angleDeg, double t)> onPosition;
};

// Amplitudes below 10 mean no swing: such a module holds one angle, and how
// often it hears it again does not matter.
constexpr int kSwingingAmplitude = 10;
// Below this many positions a gait period the wave reaches a servo as a few
// coarse jumps rather than a swing.
constexpr double kFewestPositionsPerPeriod = 8;

struct HeadlessResult {
  std::string robot;
  bool idealLine = false;
  double seconds = 0;
  int intervalMs = 0;
  double periodSeconds = 0;  // twenty gait steps
  double softStartS = 0;     // the swings grew from nothing over this
  double bodyLength = 0;     // metres
  // Of the centre of mass in the floor plane, from where it started.
  double distance = 0;  // metres, straight line
  double speed = 0;     // metres per second
  double steadySpeed = 0;  // metres per second over the run's last half, straight line
  double forward = 0;   // metres along the starting heading: positive head first
  double lateral = 0;   // metres to the left of it
  double pathLength = 0;  // metres along the path, sampled every half second
  double bodyLengthsPerPeriod = 0;
  double headingChangeDeg = 0;  // counter-clockwise positive
  // The middle module's roll about the chain's axis, positive toward its right.
  double rollDeg = 0;
  std::vector<std::array<double, 3>> path;  // t, x, y every half second
  std::array<std::uint64_t, kRobotModules> positions{};  // received per channel
  // Of those, the ones that brought the servo a gait step it had not had: a
  // channel gets every step of the wave when this is the number of gait ticks.
  std::array<std::uint64_t, kRobotModules> newSteps{};
  // Per channel, once the start is over (the soft start, and at least the
  // first gait period, which carries the start from rest): the largest gap
  // between the angle the controller asked for and the shaft's, and the
  // share of the time the servo gave all its torque. Large figures mean the
  // gait asks more than the servos give. Only measured (servoFigures) when
  // at least two periods follow the start: fewer are a sample, not a figure.
  bool servoFigures = false;
  std::array<double, kRobotModules> peakTrackingErrorDeg{};
  std::array<double, kRobotModules> torqueLimitedShare{};
  // When each of HeadlessOptions::steps began.
  struct StepStart {
    int number = 0;
    std::string gait;
    double startS = 0;
  };
  std::vector<StepStart> stepStarts;
};

// Runs `table` as the panel holds it: the modules whose ServoEnabled is true
// are enabled ("SE.." each), then "Move", then options.seconds of gait with
// the gait clock at intervalMs and the refresh at the panel's. Nothing, with
// *error, when the robot model cannot be used, the interval is not positive,
// or the physics blows up.
std::optional<HeadlessResult> RunHeadless(const ModuleTable& table, int intervalMs, const HeadlessOptions& options,
                                          std::string* error);
// The same on a robot already loaded (options.robot is then not used).
std::optional<HeadlessResult> RunHeadless(const ModuleTable& table, int intervalMs, std::unique_ptr<Robot> robot,
                                          const HeadlessOptions& options, std::string* error);
// The same on a robot kept from run to run, put back at rest first: one run
// after another on it gives what each would give on a freshly loaded one.
std::optional<HeadlessResult> RunHeadless(const ModuleTable& table, int intervalMs, VirtualRobot& robot,
                                          const HeadlessOptions& options, std::string* error);

// How many of `count` fell in one gait period, on average over the run.
double PerPeriod(const HeadlessResult& result, std::uint64_t count);

// The fewest positions a gait period any servo of `table` that swings
// (enabled, amplitude kSwingingAmplitude or more) received in the run;
// nothing when none swings.
std::optional<double> FewestSwingingPositions(const ModuleTable& table, const HeadlessResult& result);

// One JSON object, the same bytes for the same result.
std::string HeadlessJson(const HeadlessResult& result);

}  // namespace gp::sim
