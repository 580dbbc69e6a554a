// The virtual robot judged by physics rather than by numbers copied from the
// code: what a travelling wave must do to a snake and a caterpillar, what a
// hobby servo can and cannot do, and that a run depends on nothing but its
// input.

#include <gtest/gtest.h>
#include <mujoco/mujoco.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "core/conversions.h"
#include "gait/gait_driver.h"
#include "gait/waveform.h"
#include "protocol/line_budget.h"
#include "sim/headless_run.h"
#include "sim/robot/robot.h"
#include "sim/robot/servo.h"
#include "sim/robot/virtual_robot.h"
#include "tests/support/null_sink.h"

namespace gp::sim {
namespace {

constexpr double kDeg = gp::kPi / 180.0;

// Every module swinging with the same amplitude about the same centre, each
// `phaseStep` degrees after the one in front of it. A negative step makes the
// wave run from head to tail.
ModuleTable Wave(int amplitude, double phaseStep, int centre = 0) {
  ModuleTable table;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    table.Amp[n] = static_cast<std::int16_t>(amplitude);
    table.Phase[n] = phaseStep * (n - 1);
    table.InitAngle[n] = static_cast<std::int16_t>(centre);
    table.ServoEnabled[n] = kTrue;
  }
  return table;
}

HeadlessResult Drive(const ModuleTable& table, const std::string& robot, double seconds, bool ideal = false,
                   int intervalMs = 50) {
  HeadlessOptions options;
  options.robot = robot;
  options.seconds = seconds;
  options.idealLine = ideal;
  std::string error;
  const auto result = RunHeadless(table, intervalMs, options, &error);
  EXPECT_TRUE(result) << error;
  return result.value_or(HeadlessResult{});
}

std::string WriteFile(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(HobbyServo, FollowsItsPulseNoFasterThanItsSpeedAndWithinItsTravel) {
  ServoRating rating;
  rating.maxSpeed = 60 * kDeg / 0.16;
  HobbyServo servo(rating);
  EXPECT_FALSE(servo.Advance(0.001)) << "a servo is limp until it is enabled";

  servo.Enable(10 * kDeg);
  EXPECT_NEAR(*servo.Advance(0.001), 10 * kDeg, 1e-12) << "enabled, it holds where it is";

  servo.SetPulse(2500);  // +90 degrees: 80 degrees away
  double angle = 10 * kDeg;
  for (int i = 0; i < 80; ++i) angle = *servo.Advance(0.001);
  EXPECT_NEAR(angle, 10 * kDeg + 0.080 * rating.maxSpeed, 1e-9) << "moving at its top speed, no faster";
  for (int i = 0; i < 1000; ++i) angle = *servo.Advance(0.001);
  EXPECT_NEAR(angle, 90 * kDeg, 1e-9) << "and stopping on the target";

  servo.SetPulse(3000);  // beyond the travel
  for (int i = 0; i < 1000; ++i) angle = *servo.Advance(0.001);
  EXPECT_NEAR(angle, rating.maxAngle, 1e-12);
  servo.SetPulse(-7);  // a negative width, as a corrupt command might carry
  for (int i = 0; i < 1000; ++i) angle = *servo.Advance(0.001);
  EXPECT_NEAR(angle, rating.minAngle, 1e-12);

  servo.Disable();
  servo.SetPulse(1500);
  EXPECT_FALSE(servo.Advance(0.001));
  servo.Enable(-20 * kDeg);
  EXPECT_NEAR(*servo.Advance(0.001), -20 * kDeg, 1e-12) << "a position sent while it was off is not kept";
}

TEST(VirtualRobot, ControllerWideCommandsMoveNothingAndALimpJointGivesWay) {
  std::string error;
  VirtualRobot robot(Robot::Load("caterpillar", &error));
  const auto command = [](CommandKind kind, int channel, std::int32_t width = 0) {
    DecodedCommand c;
    c.kind = kind;
    c.channel = channel;
    c.pulseWidth = width;
    return c;
  };
  for (CommandKind kind : {CommandKind::AllOn, CommandKind::AllConfirm, CommandKind::AllOff})
    robot.Apply(command(kind, -1));
  for (int n = 1; n <= kRobotModules; ++n) EXPECT_FALSE(robot.servo(n).enabled());

  // The tail module lifted 45 degrees off the floor and held there against
  // gravity; with its servo's power cut it falls back.
  robot.Apply(command(CommandKind::Enable, 7));
  robot.Apply(command(CommandKind::Position, 7, 2000));
  robot.AdvanceTo(1.0, 2000);
  EXPECT_NEAR(robot.robot().JointAngle(8), 45 * kDeg, 3 * kDeg);
  robot.Apply(command(CommandKind::Disable, 7));
  robot.AdvanceTo(2.0, 2000);
  EXPECT_LT(std::abs(robot.robot().JointAngle(8)), 10 * kDeg);

  robot.Reset();
  EXPECT_NEAR(robot.robot().JointAngle(8), 0, 1e-9);
  EXPECT_NEAR(robot.robot().time(), 0, 1e-12);
  EXPECT_FALSE(robot.servo(8).enabled());
}

TEST(RobotModel, AWrongModelIsRefusedNamingTheFileAndTheReason) {
  std::string error;
  EXPECT_FALSE(Robot::Load("/nonexistent/robot.xml", &error));
  EXPECT_NE(error.find("/nonexistent/robot.xml"), std::string::npos) << error;

  const std::string broken = WriteFile("broken.xml", "<mujoco><worldbody><body></mujoco>");
  EXPECT_FALSE(Robot::Load(broken, &error));
  EXPECT_NE(error.find(broken + ": "), std::string::npos) << error;

  const std::string noServos = WriteFile(
      "no_servos.xml", "<mujoco><worldbody><body><freejoint/><geom size=\"0.1\"/></body></worldbody></mujoco>");
  EXPECT_FALSE(Robot::Load(noServos, &error));
  EXPECT_NE(error.find("servo1"), std::string::npos) << error;

  HeadlessOptions options;
  options.robot = broken;
  EXPECT_FALSE(RunHeadless(Wave(30, -45), 50, options, &error));

  // Servos far too stiff for the model's step: the physics blows up and
  // starts itself afresh, which must end the run, not pass for motion.
  std::string model = *Robot::BuiltInModel("snake");
  model = std::regex_replace(model, std::regex("gainprm=\"[0-9.]+\" biasprm=\"0 -[0-9.]+ "),
                             "gainprm=\"1e9\" biasprm=\"0 -1e9 ");
  model = std::regex_replace(model, std::regex("forcerange=\"[-0-9. ]+\""), "forcerange=\"-1e9 1e9\"");
  options.robot = WriteFile("stiff_snake.xml", model);
  options.seconds = 2;
  error.clear();
  EXPECT_FALSE(RunHeadless(Wave(30, -45), 50, options, &error));
  EXPECT_NE(error.find("unstable"), std::string::npos) << error;
}

// A model whose physics runs out of working memory once the robot moves:
// the smallest stack with which it loads at rest.
std::string StarvedSnake() {
  const std::string model = *Robot::BuiltInModel("snake");
  for (int stack = 500; stack < 5000; stack += 25) {
    const std::string path = WriteFile("starved_snake.xml",
                                       std::regex_replace(model, std::regex("<compiler "),
                                                          "<size nstack=\"" + std::to_string(stack) + "\"/><compiler "));
    std::string error;
    if (Robot::Load(path, &error)) return path;
  }
  return {};
}

TEST(RobotModel, APhysicsErrorIsReportedToTheCallerAndTheRobotStandsStill) {
  // The library's error during a step must reach the caller, not end the
  // process, so that whoever drives the robot can stop the servos in order.
  const std::string starved = StarvedSnake();
  ASSERT_FALSE(starved.empty());
  std::string error;
  VirtualRobot robot(Robot::Load(starved, &error));
  ASSERT_TRUE(robot.robot().failure().empty()) << robot.robot().failure();
  DecodedCommand enable;
  enable.kind = CommandKind::Enable;
  for (int c = 0; c < kRobotModules; ++c) {
    enable.channel = c;
    robot.Apply(enable);
  }
  DecodedCommand swing;
  swing.kind = CommandKind::Position;
  for (int c = 0; c < kRobotModules; ++c) {
    swing.channel = c;
    swing.pulseWidth = c % 2 ? 1900 : 1100;
    robot.Apply(swing);
  }
  robot.AdvanceTo(3.0, 100000);
  ASSERT_FALSE(robot.robot().failure().empty()) << "the starved model never erred: the test proves nothing";
  const double stoppedAt = robot.robot().time();
  EXPECT_LT(stoppedAt, 3.0);
  EXPECT_EQ(robot.AdvanceTo(4.0, 100000), 0) << "a failed physics is not stepped again";
  EXPECT_EQ(robot.robot().time(), stoppedAt);
  robot.Reset();
  EXPECT_TRUE(robot.robot().failure().empty()) << "a reset starts it afresh";

  HeadlessOptions options;
  options.robot = starved;
  options.seconds = 3;
  EXPECT_FALSE(RunHeadless(Wave(30, -45), 50, options, &error));
  EXPECT_NE(error.find("the physics failed"), std::string::npos) << error;
  EXPECT_NE(error.find("starved_snake.xml"), std::string::npos) << error;
}

// The library's handlers are set once for the process: a robot loaded while
// another steps (the panel's search beside the live robot) must not write
// them again under it.
TEST(RobotModel, LoadingARobotLeavesTheLibrarysHandlersAlone) {
  std::string error;
  ASSERT_TRUE(Robot::Load("snake", &error)) << error;
  void (*const ours)(const char*) = mju_user_warning;
  ASSERT_NE(ours, nullptr);
  static int seen = 0;
  mju_user_warning = [](const char*) { ++seen; };
  const auto mine = mju_user_warning;
  EXPECT_TRUE(Robot::Load("caterpillar", &error)) << error;
  EXPECT_EQ(mju_user_warning, mine) << "a load set the handlers again";
  mju_user_warning = ours;
}

TEST(RobotPhysics, WithoutSwingNeitherRobotDrifts) {
  // Amplitudes below 10 mean no swing: the servos hold their centres.
  for (const char* robot : {"snake", "caterpillar"}) {
    const HeadlessResult r = Drive(Wave(9, -45, 0), robot, 10);
    EXPECT_LT(r.distance, 0.001) << robot;
    EXPECT_GT(r.positions[0], 0u) << robot << ": the positions did reach the controller";
  }
}

TEST(RobotPhysics, TheSnakeGoesTheWayItsWaveSendsIt) {
  const HeadlessResult ahead = Drive(Wave(30, -45), "snake", 6);
  const HeadlessResult back = Drive(Wave(30, 45), "snake", 6);
  EXPECT_GT(ahead.forward, 0.5) << "a wave from head to tail pushes the snake head first";
  EXPECT_LT(back.forward, -0.5) << "the wave reversed, it goes tail first";
  EXPECT_LT(std::abs(ahead.lateral), ahead.forward / 2);
  EXPECT_GT(ahead.bodyLengthsPerPeriod, 0);
}

TEST(RobotPhysics, WithoutTheBellysGripAcrossTheSnakeBarelyGoes) {
  // The same snake on a floor as slippery across its runners as along them,
  // and on one as grippy along them as across.
  const std::string model = *Robot::BuiltInModel("snake");
  const std::regex friction("friction=\"([0-9.]+) ([0-9.]+) ");
  ASSERT_TRUE(std::regex_search(model, friction));
  const std::string slippery = WriteFile("slippery_snake.xml", std::regex_replace(model, friction, "friction=\"$1 $1 "));
  const std::string grippy = WriteFile("grippy_snake.xml", std::regex_replace(model, friction, "friction=\"$2 $2 "));

  const HeadlessResult belly = Drive(Wave(30, -45), "snake", 6, true);
  EXPECT_GT(belly.distance, 0.5);
  for (const std::string& floor : {slippery, grippy})
    EXPECT_LE(Drive(Wave(30, -45), floor, 6, true).distance, belly.distance / 3) << floor;
}

TEST(RobotPhysics, CentreOffsetsOfOppositeSignTurnOppositeWays) {
  const HeadlessResult left = Drive(Wave(30, -45, 8), "snake", 5, true);
  const HeadlessResult right = Drive(Wave(30, -45, -8), "snake", 5, true);
  EXPECT_GT(std::abs(left.headingChangeDeg), 20);
  EXPECT_GT(std::abs(right.headingChangeDeg), 20);
  EXPECT_LT(left.headingChangeDeg * right.headingChangeDeg, 0) << left.headingChangeDeg << " " << right.headingChangeDeg;
}

TEST(RobotPhysics, TheCaterpillarCrawlsAlongItsAxisBothWays) {
  const HeadlessResult one = Drive(Wave(30, 45), "caterpillar", 6);
  const HeadlessResult other = Drive(Wave(30, -45), "caterpillar", 6);
  EXPECT_GT(std::abs(one.forward), 0.2);
  EXPECT_GT(std::abs(other.forward), 0.1);
  EXPECT_LT(one.forward * other.forward, 0) << "reversing the phase step reverses the crawl";
  for (const HeadlessResult* r : {&one, &other}) {
    EXPECT_LT(std::abs(r->lateral), 0.01);
    EXPECT_LT(std::abs(r->headingChangeDeg), 2);
  }
}

TEST(HeadlessRun, DependsOnNothingButItsInputAndHonoursTheLine) {
  const std::string first = HeadlessJson(Drive(Wave(30, -45), "snake", 3));
  const std::string second = HeadlessJson(Drive(Wave(30, -45), "snake", 3));
  EXPECT_EQ(first, second);

  // Eight modules at a 20 ms tick want 100 positions a second each; the
  // 9600-baud line carries about 87 commands a second for all of them.
  const HeadlessResult paced = Drive(Wave(30, -45), "snake", 3, false, 20);
  const HeadlessResult ideal = Drive(Wave(30, -45), "snake", 3, true, 20);
  double pacedTotal = 0;
  for (std::size_t c = 0; c < paced.positions.size(); ++c) {
    pacedTotal += static_cast<double>(paced.positions[c]);
    EXPECT_GT(ideal.positions[c], 280u) << c;
    EXPECT_GT(paced.positions[c], 20u) << c << ": every channel gets its share of the line";
  }
  EXPECT_LT(pacedTotal / 3, 960.0 / 11 + 1);
  EXPECT_EQ(paced.path.size(), 7u) << "every half second from 0 to 3 s";
  EXPECT_EQ(paced.path.front()[0], 0.0);
}

// The start from rest: without a soft start every servo is sent straight to
// its place in the wave and the body lurches; with one the swings grow over
// a period. Either way the steady gait that follows is the same gait, and
// figures of its servos come only from a run long enough to have one.
TEST(HeadlessRun, ASoftStartTakesTheLurchOutOfTheStartAndLeavesTheSteadyGait) {
  const auto run = [](double softStart, double seconds) {
    HeadlessOptions options;
    options.seconds = seconds;
    options.idealLine = true;
    options.softStartS = softStart;
    std::string error;
    const auto r = RunHeadless(Wave(30, -45), 50, options, &error);
    EXPECT_TRUE(r) << error;
    return r.value_or(HeadlessResult{});
  };
  const HeadlessResult sudden = run(0, 6), gentle = run(1, 6);
  const auto firstHalfSecond = [](const HeadlessResult& r) { return std::hypot(r.path[1][1], r.path[1][2]); };
  EXPECT_LT(firstHalfSecond(gentle), firstHalfSecond(sudden) / 3)
      << firstHalfSecond(gentle) << " m against " << firstHalfSecond(sudden) << " m in the first half second";
  EXPECT_NEAR(gentle.steadySpeed, sudden.steadySpeed, 0.05 * sudden.steadySpeed);
  EXPECT_GT(gentle.steadySpeed, gentle.speed) << "the whole run's speed carries the start";
  EXPECT_EQ(gentle.softStartS, 1.0);
  EXPECT_EQ(sudden.softStartS, 0.0);

  // Without one given the soft start is one gait period.
  HeadlessOptions options;
  options.seconds = 1;
  std::string error;
  EXPECT_EQ(RunHeadless(Wave(30, -45), 100, options, &error)->softStartS, 2.0);

  // Two whole periods after the start give servo figures; fewer give none.
  const HeadlessResult shortRun = run(1, 2.9), longRun = run(1, 3);
  EXPECT_FALSE(shortRun.servoFigures);
  EXPECT_NE(HeadlessJson(shortRun).find("\"peak_tracking_error_deg\": null"), std::string::npos);
  EXPECT_TRUE(longRun.servoFigures);
  EXPECT_GT(longRun.peakTrackingErrorDeg[3], 0);
}

TEST(RobotPhysics, ABodyThatStaysFlatDoesNotRollAndARollingOneCountsItsTurns) {
  // The snake's joints all turn about the vertical: nothing can roll it.
  const HeadlessResult flat = Drive(Wave(30, -45), "snake", 4, true);
  EXPECT_LT(std::abs(flat.rollDeg), 1);
  // Pitch and yaw a quarter period apart bend the pitch-yaw snake into an
  // arc whose plane turns round its axis, and it rolls over, many times.
  ModuleTable rolling = Wave(30, 0);
  for (int n = 2; n <= kLastModule; n += 2) rolling.Phase[n] = 90;
  const HeadlessResult rolled = Drive(rolling, "pitch-yaw", 6, true);
  EXPECT_GT(std::abs(rolled.rollDeg), 3 * 360.0) << rolled.rollDeg;
  // It rolls toward the side it goes: positive is toward its right.
  EXPECT_LT(rolled.lateral * rolled.rollDeg, 0) << rolled.lateral << " m to the left, " << rolled.rollDeg << " degrees";
}

// The run re-sends positions as often as the panel's Timer2 does. With a
// gait clock of one step a second, stepping at 1 s and 2 s, every other
// position of the run's second second is a refresh.
TEST(HeadlessRun, RefreshesAsOftenAsThePanel) {
  gp::testing::NullSink noLine;
  ModuleTable panelTable;
  GaitState panelState;
  GaitDriver panel(panelTable, panelState, noLine, nullptr, [] { return false; });
  const int refreshMs = panel.timer2().interval();
  ASSERT_GT(refreshMs, 0);

  const HeadlessResult r = Drive(Wave(0, 0), "snake", 2, true, 1000);
  const double refreshes = 1000.0 / refreshMs + 1;  // from the first step to the end, both ends included
  for (std::size_t c = 0; c < r.positions.size(); ++c)
    EXPECT_NEAR(static_cast<double>(r.positions[c]), 2 + refreshes, 1.0) << "channel " << c;
}

// What the status line says reaches each servo is what the transmit queue
// on the simulated 9600-baud line delivers: positions a period, and whether
// every step of the wave arrives, on both sides of the line's limit.
TEST(HeadlessRun, EachServoGetsWhatTheLineBudgetSays) {
  struct Case {
    int modules, intervalMs;
  };
  for (const Case k : {Case{8, 20}, Case{8, 50}, Case{2, 20}, Case{4, 30}, Case{8, 100}, Case{8, 200}, Case{1, 20},
                       Case{3, 40}, Case{1, 100}}) {
    const LineBudget budget = ComputeLineBudget(k.modules, k.intervalMs, kDesignIntervalMs);
    ModuleTable table = Wave(30, -45);
    for (int n = k.modules + 1; n <= kLastModule; ++n) table.ServoEnabled[n] = kFalse;
    const double period = kStepsPerPeriod * k.intervalMs / 1000.0;
    const double seconds = std::max(3.0, 2 * period);
    const HeadlessResult r = Drive(table, "snake", seconds, false, k.intervalMs);
    const auto ticks = static_cast<std::uint64_t>(seconds * 1000 / k.intervalMs);
    for (int c = 0; c < kRobotModules; ++c) {
      const auto i = static_cast<std::size_t>(c);
      const std::string where = std::to_string(k.modules) + " modules at " + std::to_string(k.intervalMs) +
                                " ms, channel " + std::to_string(c);
      if (c >= k.modules) {
        EXPECT_EQ(r.positions[i], 0u) << where;
        continue;
      }
      EXPECT_NEAR(PerPeriod(r, r.positions[i]), budget.positionsPerPeriod, 0.04 * budget.positionsPerPeriod) << where;
      if (budget.everyStep) {
        // All but the last ones, still on the line when the run ends.
        EXPECT_GE(r.newSteps[i] + 2, ticks) << where;
        EXPECT_LE(r.newSteps[i], ticks) << where;
      } else {
        EXPECT_NEAR(PerPeriod(r, r.newSteps[i]), budget.stepsPerPeriod, 0.04 * budget.stepsPerPeriod) << where;
        EXPECT_LT(r.newSteps[i], ticks * 9 / 10) << where;
      }
    }
  }
}

}  // namespace
}  // namespace gp::sim
