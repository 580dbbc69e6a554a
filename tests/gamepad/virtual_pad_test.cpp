// SDL's virtual gamepad through SDL's game-controller layer and the pad's
// rules, on a simulated clock: the stick sends the virtual snake head first,
// tail first and round to the left, and a pad pulled out or a handle let go
// pauses within half a second.

#include <gtest/gtest.h>

#include <vector>

#include "gamepad/sdl_pads.h"
#include "sim/headless_run.h"
#include "tests/support/virtual_pad.h"

namespace gp {
namespace {

constexpr double kPollS = 0.01;

// Records what the pad asks, timed on the simulated clock.
struct Recorder : PadActions {
  double now = 0;
  bool running = true;
  std::vector<SteeringRow> rows;
  std::vector<double> pausedAt;
  int moves = 0;

  bool moving() const override { return running; }
  void Steer(const Steering& s) override { rows.push_back({now, s}); }
  void Move() override { ++moves; }
  void Pause(PadPause) override {
    pausedAt.push_back(now);
    running = false;
  }
  void RelaxOrResume() override {}
  void Refused(const std::string&) override {}
};

struct Rig {
  Recorder panel;
  PadDriver driver{panel};
  SdlPads pads;
  void PollFor(double seconds) {
    for (const double end = panel.now + seconds; panel.now < end; panel.now += kPollS) {
      pads.Poll(driver, panel.now);
      driver.Check(panel.now);
    }
  }
};

ModuleTable Undulation() {
  ModuleTable t;
  for (int n = 1; n <= 8; ++n) {
    t.Amp[n] = 30;
    t.Phase[n] = -45.0 * (n - 1);
    t.ServoEnabled[n] = kTrue;
  }
  return t;
}

TEST(VirtualPad, TheStickSendsTheSnakeHeadFirstTailFirstAndRoundToTheLeft) {
  const auto drive = [](int x, int y) {
    testing::VirtualPad pad("Steering pad");
    Rig rig;
    EXPECT_TRUE(pad.ok() && rig.pads.ok()) << testing::VirtualPad::Error();
    rig.PollFor(0.1);
    EXPECT_EQ(rig.driver.name(), "Steering pad");
    pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);  // hold to drive
    pad.Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, x);
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, y);
    rig.PollFor(0.1);
    // The steering the pad asked for, on the simulated clock, from the start.
    std::vector<SteeringRow> rows = rig.panel.rows;
    EXPECT_FALSE(rows.empty());
    if (!rows.empty()) rows.front().t = 0;
    sim::HeadlessOptions options;
    options.seconds = 5;
    options.drive = rows;
    std::string error;
    const auto r = sim::RunHeadless(Undulation(), 50, options, &error);
    EXPECT_TRUE(r) << error;
    return r ? *r : sim::HeadlessResult{};
  };
  const sim::HeadlessResult ahead = drive(0, -32768), back = drive(0, 32767), left = drive(-32768, -32768);
  EXPECT_GT(ahead.forward, 0.5);   // head first
  EXPECT_LT(back.forward, -0.5);   // tail first
  EXPECT_GT(left.headingChangeDeg, 90);  // counter-clockwise
}

TEST(VirtualPad, PullingThePadOutOrLettingGoOfTheHandlePausesWithinHalfASecond) {
  Rig rig;
  {
    testing::VirtualPad pad;
    ASSERT_TRUE(pad.ok() && rig.pads.ok()) << testing::VirtualPad::Error();
    rig.PollFor(0.1);
    ASSERT_TRUE(rig.driver.attached());
    pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    rig.PollFor(0.1);
    EXPECT_EQ(rig.panel.moves, 1);
    pad.Button(SDL_CONTROLLER_BUTTON_A, false);
    rig.PollFor(0.2);
    const double letGo = rig.panel.now;
    pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false);
    rig.PollFor(0.6);
    ASSERT_EQ(rig.panel.pausedAt.size(), 1u);
    EXPECT_LE(rig.panel.pausedAt[0] - letGo, kPadSilenceS);

    rig.panel.running = true;
    rig.PollFor(0.2);
    const double pulled = rig.panel.now;
    pad.Unplug();
    rig.PollFor(0.6);
    ASSERT_EQ(rig.panel.pausedAt.size(), 2u);
    EXPECT_LE(rig.panel.pausedAt[1] - pulled, kPadSilenceS);
    EXPECT_FALSE(rig.driver.attached());
  }
  // Plugged in again, it is found again.
  testing::VirtualPad again("Second pad");
  rig.PollFor(0.1);
  EXPECT_TRUE(rig.driver.attached());
  EXPECT_EQ(rig.driver.name(), "Second pad");
}

}  // namespace
}  // namespace gp
