#include "gait/live_gait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gait/gait_tick.h"
#include "gait/waveform.h"
#include "tests/support/recording_sink.h"

namespace gp {
namespace {

constexpr double kDt = 0.05;  // the presets' 50 ms a step
// A pulse width is a whole microsecond: 0.09 degrees.
constexpr double kPulseDeg = 180.0 / 2000.0;

ModuleTable Undulation(double phaseStep, int centre = 0, std::int16_t amp = 30) {
  ModuleTable t;
  for (int n = 1; n <= 8; ++n) {
    t.Amp[n] = amp;
    t.Phase[n] = phaseStep * (n - 1);
    t.InitAngle[n] = static_cast<std::int16_t>(centre);
    t.ServoEnabled[n] = kTrue;
  }
  return t;
}

// The gait ticking every 50 ms on a recording line, the angle each position
// on it asks for read back from its bytes.
struct Line {
  explicit Line(const ModuleTable& t) : table(t) { state.Running = kTrue; }

  void Tick(bool withLive = true) {
    live.setNow(now);
    GaitTick(table, state, out, {}, nullptr, withLive ? &live : nullptr);
    now += kDt;
  }

  // Per channel, every angle sent, in order.
  std::vector<std::vector<double>> Angles(std::size_t from = 0) const {
    std::vector<std::vector<double>> a(8);
    for (std::size_t i = from; i < out.commands.size(); ++i) {
      const ServoCommand& c = out.commands[i];
      if (!c.IsPosition()) continue;
      const std::string hex = c.bytes.substr(5, c.bytes.find('\r') - 5);
      a[static_cast<std::size_t>(c.channel)].push_back((std::stoi(hex, nullptr, 16) - 1500) * kPulseDeg);
    }
    return a;
  }

  ModuleTable table;
  GaitState state;
  testing::RecordingSink out;
  LiveGait live;
  double now = 0;
};

double LargestStep(const std::vector<double>& angles) {
  double most = 0;
  for (std::size_t i = 1; i < angles.size(); ++i) most = std::max(most, std::abs(angles[i] - angles[i - 1]));
  return most;
}

// The most the wave itself moves a swing of `amp` in one step of 18 degrees.
double WaveStep(double amp) { return 2 * amp * std::sin(9 * kGaitPi / 180); }

TEST(LiveGaitTest, ReversingLateralUndulationKeepsEveryServoWithinTheLimitAndEndsOnTheNewGait) {
  const ModuleTable forward = Undulation(-45), backward = Undulation(45);
  // Opened without a blend, the wave jumps: module 3's phase turns half round.
  Line abrupt(forward);
  for (int k = 0; k < 40; ++k) abrupt.Tick(false);
  abrupt.table = backward;
  for (int k = 0; k < 40; ++k) abrupt.Tick(false);
  const double bound = WaveStep(30) + kDefaultChangeSpeedDegS * kDt + 2 * kPulseDeg;
  EXPECT_GT(LargestStep(abrupt.Angles()[2]), 3 * bound);

  Line line(forward);
  for (int k = 0; k < 40; ++k) line.Tick();
  EXPECT_FALSE(line.live.active());
  line.live.BlendTo(line.table, backward, kDefaultBlendS);
  line.table = backward;  // as the panel's boxes end up
  const std::size_t blendFrom = line.out.commands.size();
  int ticks = 0;
  while (line.live.active() && ticks < 200) {
    line.Tick();
    ++ticks;
  }
  // Half a turn of a swing of 30 degrees is a chord of 60: at 60 degrees a
  // second the blend takes as long as the limit needs, here the whole second.
  EXPECT_GE(ticks * kDt, 60 / kDefaultChangeSpeedDegS - kDt);
  EXPECT_LE(ticks * kDt, 60 / kDefaultChangeSpeedDegS + 2 * kDt);
  const auto angles = line.Angles(blendFrom - 8);
  for (std::size_t c = 0; c < 8; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    EXPECT_LE(LargestStep(angles[c]), bound);
  }
  // Then the bytes are those of the new gait, as if it had always run.
  Line plain(backward);
  plain.state.StepIndex = line.state.StepIndex;
  const std::size_t at = line.out.commands.size();
  for (int k = 0; k < 20; ++k) {
    line.Tick();
    plain.Tick(false);
  }
  const std::vector<std::string> tail(line.out.events.begin() + static_cast<std::ptrdiff_t>(at), line.out.events.end());
  EXPECT_EQ(tail, plain.out.events);
}

TEST(LiveGaitTest, WithoutSteeringOrAChangeTheBytesAreTheWaveformsOwn) {
  Line with(Undulation(-45, 3)), without(Undulation(-45, 3));
  for (int k = 0; k < 45; ++k) {
    with.Tick();
    without.Tick(false);
  }
  EXPECT_EQ(with.out.events, without.out.events);
  // Typing while nothing is shaped is taken by the table alone.
  with.live.TakeRow(with.table, 2);
  EXPECT_FALSE(with.live.active());
}

TEST(LiveGaitTest, ChangesAtOnceKeepToTheSlowestLimitTogether) {
  // Standing still, so that every move on the line is the change's own.
  ModuleTable still = Undulation(0, 0, 0);
  Line line(still);
  std::array<double, kModules> limits{};
  limits.fill(90);
  limits[0] = 240;  // a fast head, as a profile may give it
  line.live.setSpeedLimits(limits);
  line.Tick();
  line.live.SetDriving(true, line.table);
  line.live.Steer({0, 1, 1}, 0.1);  // full left at once, asked for in a tenth of a second
  const ModuleTable bent = Undulation(0, 40, 0);
  line.live.BlendTo(line.table, bent, 0.1);
  line.table = bent;
  for (int k = 0; k < 60; ++k) line.Tick();
  const auto angles = line.Angles();
  for (std::size_t c = 0; c < 8; ++c) {
    EXPECT_LE(LargestStep(angles[c]), limits[c] * kDt + 2 * kPulseDeg) << "channel " << c;
    // 40 degrees of centre and the turn's offset, which is negative for left.
    EXPECT_NEAR(angles[c].back(), 40 + TurnOffsetDeg(1), kPulseDeg);
  }
  EXPECT_EQ(line.live.inForce(), (Steering{0, 1, 1}));
}

TEST(LiveGaitTest, SteeringScalesTheWaveAndStandsItAndAFlickEndToEndNeverJumps) {
  Line line(Undulation(-45));
  line.Tick();
  line.live.SetDriving(true, line.table);
  line.live.Steer({0, 0, 1}, kDefaultBlendS);  // standing
  for (int k = 0; k < 30; ++k) line.Tick();
  std::size_t from = line.out.commands.size();
  for (int k = 0; k < 10; ++k) line.Tick();
  for (const auto& a : line.Angles(from)) EXPECT_EQ(LargestStep(a), 0.0);

  // Half the amplitude: 15 degrees either way, the wave at full speed.
  line.live.Steer({1, 0, 0}, kDefaultBlendS);
  for (int k = 0; k < 30; ++k) line.Tick();
  from = line.out.commands.size();
  for (int k = 0; k < 20; ++k) line.Tick();
  const auto half = line.Angles(from);
  EXPECT_NEAR(*std::max_element(half[0].begin(), half[0].end()), 15, 0.3);
  EXPECT_NEAR(LargestStep(half[0]), WaveStep(15), 0.3);

  // Full forward to full back, the turn from right to left, in one flick.
  line.live.Steer({1, -1, 1}, kDefaultBlendS);
  for (int k = 0; k < 30; ++k) line.Tick();
  from = line.out.commands.size();
  line.live.Steer({-1, 1, 0}, kDefaultBlendS);
  for (int k = 0; k < 60; ++k) line.Tick();
  const double bound = WaveStep(30) + kDefaultChangeSpeedDegS * kDt + 2 * kPulseDeg;
  for (const auto& a : line.Angles(from)) EXPECT_LE(LargestStep(a), bound);

  // Driving off: the steering comes back to the base and the wave to the
  // step counter, and then the bytes are the waveform's own again.
  line.live.SetDriving(false, line.table);
  from = line.out.commands.size();
  int ticks = 0;
  while (line.live.active() && ticks < 200) {
    line.Tick();
    ++ticks;
  }
  EXPECT_LT(ticks, 200);
  for (const auto& a : line.Angles(from)) EXPECT_LE(LargestStep(a), bound);
  Line plain(line.table);
  plain.state.StepIndex = line.state.StepIndex;
  const std::size_t at = line.out.events.size();
  for (int k = 0; k < 20; ++k) {
    line.Tick();
    plain.Tick(false);
  }
  EXPECT_EQ(std::vector<std::string>(line.out.events.begin() + static_cast<std::ptrdiff_t>(at), line.out.events.end()),
            plain.out.events);
}

TEST(LiveGaitTest, TypingDuringABlendIsInForceAtTheNextTick) {
  Line line(Undulation(-45));
  line.Tick();
  line.live.BlendTo(line.table, Undulation(45, 10), kDefaultBlendS);
  line.Tick();
  ASSERT_TRUE(line.live.blending(3));
  line.table.Amp[3] = 20;
  line.table.InitAngle[3] = -7;
  line.live.TakeRow(line.table, 3);
  EXPECT_FALSE(line.live.blending(3));
  EXPECT_TRUE(line.live.blending(4));
  line.Tick();
  EXPECT_NEAR(line.table.Angle[3], GaitAngle(20, line.table.Phase[3], -7, line.state.StepIndex), 1e-9);

  // Paused, whatever is asked is in force at once: nothing moves meanwhile.
  line.state.Running = kFalse;
  line.Tick();
  EXPECT_FALSE(line.live.blending());
}

TEST(LiveGaitTest, InputsAreKeptWithinTheirRanges) {
  EXPECT_EQ(ClampSteering({3, -2, 7}), (Steering{1, -1, 1}));
  EXPECT_EQ(ClampSteering({std::nan(""), std::nan(""), std::nan("")}), Steering{});
  const BoxValues v = BoxValuesOf(ModuleSwing{std::polar(30.0, -90 * kGaitPi / 180), 4}, 260);
  EXPECT_NEAR(v.amplitude, 30, 1e-9);
  EXPECT_NEAR(v.phase, 270, 1e-9);
  EXPECT_EQ(v.centre, 4);
}

}  // namespace
}  // namespace gp
