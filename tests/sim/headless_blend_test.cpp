// Changes of gait and steering in a headless run, on the positions the
// controller takes: no servo moves faster between two of them than the wave
// itself and the change's limit allow, and the robot goes where it is sent.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "sim/headless_run.h"

namespace gp::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPulseDeg = 180.0 / 2000.0;

ModuleTable Undulation(double phaseStep, int centre = 0) {
  ModuleTable t;
  for (int n = 1; n <= 8; ++n) {
    t.Amp[n] = 30;
    t.Phase[n] = phaseStep * (n - 1);
    t.InitAngle[n] = static_cast<std::int16_t>(centre);
    t.ServoEnabled[n] = kTrue;
  }
  return t;
}

struct Seen {
  double t;
  double angle;
};

// Runs and keeps each channel's positions; returns the largest excess of a
// step between two over what a 30-degree wave of a one-second period and a
// change at `limit` may move it in the time between them.
double WorstExcess(HeadlessOptions options, const ModuleTable& table, double limit, std::string* error,
                   HeadlessResult* result = nullptr) {
  std::map<int, std::vector<Seen>> seen;
  options.onPosition = [&seen](int channel, double angle, double t) { seen[channel].push_back({t, angle}); };
  const auto r = RunHeadless(table, 50, options, error);
  if (!r) return 1e9;
  if (result) *result = *r;
  double worst = -1e9;
  for (const auto& [channel, list] : seen) {
    // The refresh sends a position again between two gait ticks: a value is
    // timed from when it first came.
    double since = list.front().t;
    for (std::size_t i = 1; i < list.size(); ++i) {
      if (list[i].angle == list[i - 1].angle) continue;
      const double allowed = (30 * 2 * kPi + limit) * (list[i].t - since) + 2 * kPulseDeg;
      worst = std::max(worst, std::abs(list[i].angle - list[i - 1].angle) - allowed);
      since = list[i].t;
    }
  }
  return worst;
}

TEST(HeadlessBlend, ReversalAndSteeringKeepEveryServoWithinItsLimit) {
  std::string error;
  HeadlessOptions options;
  options.seconds = 6;
  options.idealLine = true;  // each position arrives when it is sent
  GaitStep reverse;
  reverse.startS = 2;
  reverse.name = "reverse";
  reverse.table = Undulation(45);
  options.steps = {reverse};
  HeadlessResult r;
  EXPECT_LE(WorstExcess(options, Undulation(-45), kDefaultChangeSpeedDegS, &error, &r), 0) << error;
  ASSERT_EQ(r.stepStarts.size(), 1u);
  EXPECT_NEAR(r.stepStarts[0].startS, 2, 0.051);

  // Without the blend the same reversal jumps by far more.
  options.steps.front().blendS = 0;
  RobotProfile fast;
  for (auto& m : fast.modules) m.maxSpeedDegS = 100000;
  options.profile = fast;
  EXPECT_GT(WorstExcess(options, Undulation(-45), kDefaultChangeSpeedDegS, &error), 20);

  // A stick flicked from full forward right to full back left, and a profile's slower limit.
  options.steps.clear();
  RobotProfile slow;
  for (auto& m : slow.modules) m.maxSpeedDegS = 30;
  options.profile = slow;
  options.drive = {{0, {1, -1, 1}}, {2, {-1, 1, 0}}, {4, {0, 0, 1}}};
  EXPECT_LE(WorstExcess(options, Undulation(-45), 30, &error), 0) << error;
}

TEST(HeadlessBlend, SteeringSendsTheSnakeHeadFirstTailFirstAndRoundToTheLeft) {
  std::string error;
  HeadlessOptions options;
  options.seconds = 5;
  const auto run = [&](Steering s) {
    options.drive = {{0, s}};
    const auto r = RunHeadless(Undulation(-45), 50, options, &error);
    EXPECT_TRUE(r) << error;
    return r ? *r : HeadlessResult{};
  };
  const HeadlessResult forward = run({1, 0, 1}), back = run({-1, 0, 1});
  EXPECT_GT(forward.forward, 0.5);
  // The same wave run the other way: the same speed the other way (5%).
  EXPECT_NEAR(back.forward, -forward.forward, 0.05 * forward.forward);
  const HeadlessResult left = run({1, 1, 1}), right = run({1, -1, 1});
  EXPECT_GT(left.headingChangeDeg, 90);  // counter-clockwise
  EXPECT_NEAR(right.headingChangeDeg, -left.headingChangeDeg, 0.15 * left.headingChangeDeg);
  const HeadlessResult standing = run({0, 0, 1});
  EXPECT_LT(standing.distance, 0.05 * forward.distance);
}

}  // namespace
}  // namespace gp::sim
