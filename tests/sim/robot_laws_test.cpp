// The laws a physicist checks a simulated chain against: a chain of equal
// modules has no favoured end, a wave run backwards runs the robot
// backwards, opposite bends turn opposite ways alike, the answer does not
// hang on the step, and grip across the body is what drives a snake. Each
// tolerance is several times what the model misses by; a model with a
// favoured end or an unconverged step misses it.

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <optional>
#include <fstream>
#include <regex>
#include <string>

#include "sim/headless_run.h"
#include "sim/robot/robot.h"

namespace gp::sim {
namespace {

// Every module swinging about `centre`, each `phaseStep` degrees after the
// one in front of it; the amplitude grows by `ramp` degrees a module, so the
// gait is not its own mirror image.
ModuleTable Wave(int amplitude, double phaseStep, int centre = 0, int ramp = 0) {
  ModuleTable table;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    table.Amp[n] = static_cast<std::int16_t>(amplitude + ramp * (n - 1));
    table.Phase[n] = phaseStep * (n - 1);
    table.InitAngle[n] = static_cast<std::int16_t>(centre);
    table.ServoEnabled[n] = kTrue;
  }
  return table;
}

// The same gait with head and tail swapped: module n does what module 9-n
// did. Seen from the other end the chain then moves exactly as before.
ModuleTable Mirror(const ModuleTable& gait) {
  ModuleTable table = gait;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const int m = kLastModule + kFirstModule - n;
    table.Amp[n] = gait.Amp[m];
    table.Phase[n] = gait.Phase[m];
    table.InitAngle[n] = gait.InitAngle[m];
    table.ServoEnabled[n] = gait.ServoEnabled[m];
  }
  return table;
}

std::string WriteModel(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

HeadlessResult Drive(const ModuleTable& table, const std::string& robot, double seconds,
                     std::optional<Floor> floor = std::nullopt, bool idealLine = true) {
  HeadlessOptions options;
  options.robot = robot;
  options.seconds = seconds;
  options.idealLine = idealLine;  // the 9600 line sends channel 1 first and so favours an end itself
  options.floor = floor;
  std::string error;
  const auto result = RunHeadless(table, 50, options, &error);
  EXPECT_TRUE(result) << error;
  return result.value_or(HeadlessResult{});
}

// Metres a second once the start from rest is over: the centre of mass from
// the path's point at two seconds to its last.
double SteadySpeed(const HeadlessResult& r) {
  if (r.path.size() < 6) return 0;
  const auto& a = r.path[4];
  const auto& b = r.path.back();
  return std::hypot(b[1] - a[1], b[2] - a[2]) / (b[0] - a[0]);
}

// Signed: positive head first.
double SteadyForward(const HeadlessResult& r) {
  if (r.path.size() < 6) return 0;
  const auto& a = r.path[4];
  const auto& b = r.path.back();
  // The start heading is along +x for the built-in robots, head first.
  return (b[1] - a[1]) / (b[0] - a[0]);
}

double Gap(double a, double b) { return std::abs(a - b) / std::max(std::abs(a), std::abs(b)); }

TEST(RobotLaws, AGaitAndItsHeadForTailMirrorGoEquallyFarOppositeWays) {
  for (const char* robot : {"snake", "caterpillar"}) {
    const ModuleTable gait = Wave(20, std::string(robot) == "snake" ? -45 : 45, 0, 3);
    const HeadlessResult one = Drive(gait, robot, 6);
    const HeadlessResult other = Drive(Mirror(gait), robot, 6);
    EXPECT_GT(one.distance, 0.3) << robot;
    EXPECT_LT(Gap(SteadySpeed(one), SteadySpeed(other)), 0.03) << robot << ": " << SteadySpeed(one) << " and "
                                                                << SteadySpeed(other);
    EXPECT_LT(one.forward * other.forward, 0) << robot;
  }
}

TEST(RobotLaws, ReversingThePhaseStepReversesTheMotionAtTheSameSpeed) {
  // 36 degrees is two gait ticks: the reversed wave is then the mirror
  // image shifted by whole ticks. (With a step that is not whole ticks the
  // two waves are sampled at different points of the sine, and are not the
  // same motion.)
  for (const char* robot : {"snake", "caterpillar"}) {
    const HeadlessResult ahead = Drive(Wave(30, -36), robot, 6);
    const HeadlessResult back = Drive(Wave(30, 36), robot, 6);
    EXPECT_GT(SteadySpeed(ahead), 0.1) << robot;
    EXPECT_LT(Gap(SteadySpeed(ahead), SteadySpeed(back)), 0.05) << robot << ": " << SteadySpeed(ahead) << " and "
                                                                 << SteadySpeed(back);
    EXPECT_LT(ahead.forward * back.forward, 0) << robot;
  }
}

TEST(RobotLaws, CentreOffsetsOfOppositeSignTurnEqually) {
  const HeadlessResult left = Drive(Wave(30, -45, 8), "snake", 5);
  const HeadlessResult right = Drive(Wave(30, -45, -8), "snake", 5);
  EXPECT_GT(std::abs(left.headingChangeDeg), 20);
  EXPECT_LT(left.headingChangeDeg * right.headingChangeDeg, 0);
  EXPECT_LT(Gap(left.headingChangeDeg, -right.headingChangeDeg), 0.15)
      << left.headingChangeDeg << " and " << right.headingChangeDeg;
}

TEST(RobotLaws, HalvingTheStepHardlyChangesTheSpeed) {
  for (const char* robot : {"snake", "caterpillar"}) {
    const std::string model = *Robot::BuiltInModel(robot);
    std::smatch step;
    ASSERT_TRUE(std::regex_search(model, step, std::regex("timestep=\"([0-9.e-]+)\"")));
    const double dt = std::stod(step[1]);
    const std::string finer = WriteModel(std::string("finer_") + robot + ".xml",
                                         std::regex_replace(model, std::regex("timestep=\"[0-9.e-]+\""),
                                                            "timestep=\"" + std::to_string(dt / 2) + "\""));
    const double coarse = SteadySpeed(Drive(Wave(30, robot[0] == 's' ? -45 : 45), robot, 5));
    const double fine = SteadySpeed(Drive(Wave(30, robot[0] == 's' ? -45 : 45), finer, 5));
    EXPECT_LT(Gap(coarse, fine), 0.02) << robot << ": " << coarse << " m/s at " << dt << " s, " << fine << " at half";
  }
}

TEST(RobotLaws, MoreGripAcrossThanAlongNeverSlowsTheSnake) {
  // The grip across the runners held, the grip along them lowered: from an
  // isotropic floor toward runners that only roll.
  const std::string model = *Robot::BuiltInModel("snake");
  const std::regex friction("friction=\"([0-9.]+) ([0-9.]+) ");
  ASSERT_TRUE(std::regex_search(model, friction));
  constexpr double kAcross = 0.6;
  double previous = -1;
  for (const double ratio : {1.0, 2.0, 5.0, 15.0, 30.0, 100.0}) {
    const std::string floor = WriteModel(
        "ratio_snake.xml",
        std::regex_replace(model, friction, "friction=\"" + std::to_string(kAcross / ratio) + " " + std::to_string(kAcross) + " "));
    const HeadlessResult r = Drive(Wave(30, -45), floor, 6);
    const double perPeriod = SteadyForward(r) * r.periodSeconds / r.bodyLength;
    if (ratio == 1.0) {
      EXPECT_LT(std::abs(perPeriod), 0.05) << "an isotropic floor gives a snake nothing to push on";
    }
    EXPECT_GE(perPeriod, previous - 0.01) << "at ratio " << ratio;
    previous = perPeriod;
  }
  EXPECT_GT(previous, 0.4) << "near the no-side-slip limit";
}

double BodyLengthsPerPeriod(const HeadlessResult& r) { return SteadyForward(r) * r.periodSeconds / r.bodyLength; }

double MeanTorqueLimitedShare(const HeadlessResult& r) {
  EXPECT_TRUE(r.servoFigures);
  return std::accumulate(r.torqueLimitedShare.begin(), r.torqueLimitedShare.end(), 0.0) /
         static_cast<double>(r.torqueLimitedShare.size());
}

TEST(RobotLaws, GripAcrossSlowsTheSnakeOnlyWhereItsServosRunOutOfTorque) {
  // The snake's belly stands for passive wheels: it rolls along the module
  // and holds across it. With the grip along held at 0.1, more grip across
  // can only take away sideways slip; where the servos are rarely at their
  // limit nothing else changes. Further up a slower snake must be one whose
  // servos can no longer bend it against the floor, which they then show.
  double previous = 0, previousShare = 0;
  for (const double across : {0.2, 0.5, 1.0, 1.5, 3.0, 5.0, 10.0}) {
    const HeadlessResult r = Drive(Wave(30, -45), "snake", 6, Floor{0.1, across});
    const double speed = BodyLengthsPerPeriod(r), share = MeanTorqueLimitedShare(r);
    if (across <= 3.0) {
      EXPECT_GE(speed, 0.95 * previous) << "across " << across << ": " << speed << " after " << previous;
      EXPECT_LT(share, 0.1) << "across " << across;
    } else if (speed < 0.98 * previous) {
      EXPECT_GT(share, previousShare) << "across " << across << ": " << speed << " after " << previous
                                      << " body lengths a period with the servos no more at their limit";
    }
    previous = speed;
    previousShare = share;
  }
  // At the built-in friction, lateral undulation comes near the no-slip
  // limit of a wave of this shape (0.79 body lengths a period).
  EXPECT_GE(BodyLengthsPerPeriod(Drive(Wave(30, -45), "snake", 6)), 0.6);
}

// Sidewinding on the pitch-yaw snake as it is built: a yaw wave and a pitch
// wave of one length (120 degrees between joints of one kind, so the eight
// modules hold one whole wave), the yaw wave a quarter period behind.
ModuleTable Sidewinding(int pitch, int yaw) {
  ModuleTable table;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const bool pitches = n % 2 == 1;
    table.Amp[n] = static_cast<std::int16_t>(pitches ? pitch : yaw);
    table.Phase[n] = 60.0 * (n - 1) - (pitches ? 0 : 90);
    table.InitAngle[n] = 0;
    table.ServoEnabled[n] = kTrue;
  }
  return table;
}

TEST(RobotLaws, SidewindingGoesTheSameWayOnEitherLine) {
  // The wave has a direction of its own; the line only samples it. (A wave
  // whose joints of one kind are half a period apart has none, and goes
  // where the line's order of channels pushes it.)
  const ModuleTable gait = Sidewinding(15, 50);
  const HeadlessResult ideal = Drive(gait, "pitch-yaw", 8);
  const HeadlessResult paced = Drive(gait, "pitch-yaw", 8, std::nullopt, false);
  const auto direction = [](const HeadlessResult& r) {
    const auto& a = r.path[4];
    const auto& b = r.path.back();
    return std::array<double, 2>{b[1] - a[1], b[2] - a[2]};
  };
  const auto one = direction(ideal), other = direction(paced);
  const double lengths = std::hypot(one[0], one[1]) * std::hypot(other[0], other[1]);
  ASSERT_GT(std::hypot(one[0], one[1]), 0.5) << "it moves";
  ASSERT_GT(std::hypot(other[0], other[1]), 0.5) << "it moves";
  const double angle = std::acos((one[0] * other[0] + one[1] * other[1]) / lengths) * 180 / 3.14159265358979323846;
  EXPECT_LT(angle, 30) << "the ideal line's way and the 9600 line's differ by " << angle << " degrees";
}

TEST(RobotLaws, TheCaterpillarsCrawlHardlyDependsOnItsFriction) {
  // It lifts what moves and sets down what stands: nothing slides.
  const std::string model = *Robot::BuiltInModel("caterpillar");
  const std::regex friction("friction=\"([0-9.]+) ([0-9.]+) ");
  double lo = 1e9, hi = 0;
  for (const char* mu : {"0.3", "0.8", "1.5"}) {
    const std::string floor = WriteModel(
        "mu_caterpillar.xml", std::regex_replace(model, friction, std::string("friction=\"") + mu + " " + mu + " "));
    const double speed = SteadySpeed(Drive(Wave(30, 45), floor, 5));
    lo = std::min(lo, speed);
    hi = std::max(hi, speed);
  }
  EXPECT_GT(lo, 0.05);
  EXPECT_LT((hi - lo) / hi, 0.15) << lo << " to " << hi << " m/s";
}

}  // namespace
}  // namespace gp::sim
