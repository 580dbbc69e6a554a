// The rules a gamepad drives by, on a simulated clock: what the stick and
// trigger ask, what each button presses, and the three ways a pad stops a
// moving robot (pulled out, fallen silent, the handle let go).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gamepad/pad_driver.h"

namespace gp {
namespace {

struct Panel : PadActions {
  bool running = false;
  std::vector<Steering> steered;
  std::vector<PadPause> paused;
  int moves = 0, relaxes = 0;
  std::vector<std::string> refused;

  bool moving() const override { return running; }
  void Steer(const Steering& s) override { steered.push_back(s); }
  void Move() override {
    ++moves;
    running = true;
  }
  void Pause(PadPause why) override {
    paused.push_back(why);
    running = false;
  }
  void RelaxOrResume() override { ++relaxes; }
  void Refused(const std::string& why) override { refused.push_back(why); }
};

PadReading Held(PadReading r) {
  r.rightShoulder = true;
  return r;
}

TEST(PadDriver, StickAndTriggerAskSpeedTurnAndAmplitudeOnlyWhenTheyChange) {
  // Resting slightly off centre is centred; the end of travel is the whole input.
  EXPECT_EQ(StickValue(0.1), 0);
  EXPECT_EQ(StickValue(-1), -1);
  EXPECT_NEAR(StickValue(0.575), 0.5, 1e-12);
  EXPECT_EQ(StickValue(1e300), 1);

  Panel panel;
  PadDriver pad(panel);
  pad.setHoldToDrive(false);
  pad.Attached("pad", 0);
  PadReading r;
  r.leftY = -1;  // pushed up
  r.leftX = -1;  // pushed left
  r.rightTrigger = 0.5;
  pad.Read(r);
  pad.Read(r);  // the same again asks nothing new
  ASSERT_EQ(panel.steered.size(), 1u);
  EXPECT_EQ(panel.steered[0], (Steering{1, 1, 0.5}));
  r.leftY = 1;
  r.leftX = 0.05;
  r.rightTrigger = 0;
  pad.Read(r);
  ASSERT_EQ(panel.steered.size(), 2u);
  EXPECT_EQ(panel.steered[1], (Steering{-1, 0, 0}));
  // Steering set from elsewhere meanwhile: the pad asks again what it holds.
  pad.ForgetSteering();
  pad.Read(r);
  EXPECT_EQ(panel.steered.size(), 3u);
}

TEST(PadDriver, ButtonsPressOnceEachAndHoldToDriveMakesTheShoulderADeadMansHandle) {
  Panel panel;
  PadDriver pad(panel);
  ASSERT_TRUE(pad.holdToDrive());  // on by default
  pad.Attached("pad", 0);
  PadReading r;
  r.leftY = -1;
  r.a = true;
  pad.Read(r);  // not held: neither moves nor steers, and says why
  EXPECT_EQ(panel.moves, 0);
  EXPECT_TRUE(panel.steered.empty());
  ASSERT_EQ(panel.refused.size(), 1u);
  EXPECT_NE(panel.refused[0].find("right shoulder"), std::string::npos);

  r = Held({});
  pad.Read(r);
  r.a = true;
  r.leftY = -1;
  pad.Read(r);
  pad.Read(r);  // held down, still one press
  EXPECT_EQ(panel.moves, 1);
  ASSERT_FALSE(panel.steered.empty());
  EXPECT_EQ(panel.steered.back().speed, 1);
  r.y = true;
  pad.Read(r);
  EXPECT_EQ(panel.relaxes, 1);

  r.rightShoulder = false;  // let go while moving
  pad.Read(r);
  ASSERT_EQ(panel.paused.size(), 1u);
  EXPECT_EQ(panel.paused[0], PadPause::Released);
  const std::size_t steered = panel.steered.size();
  r.leftY = 1;
  pad.Read(r);
  EXPECT_EQ(panel.steered.size(), steered);  // the stick no longer steers
  // Taken up again: the stick's asks come in at once.
  pad.Read(Held(r));
  EXPECT_EQ(panel.steered.size(), steered + 1);

  // Off: the stick steers and letting go of nothing pauses.
  pad.setHoldToDrive(false);
  panel.running = true;
  pad.Read(r);
  r.leftY = 0;
  pad.Read(r);
  EXPECT_EQ(panel.paused.size(), 1u);
  r.b = true;
  pad.Read(r);
  ASSERT_EQ(panel.paused.size(), 2u);
  EXPECT_EQ(panel.paused[1], PadPause::Button);
}

TEST(PadDriver, APadPulledOutOrFallenSilentPausesOnlyARobotThatMoves) {
  Panel panel;
  PadDriver pad(panel);
  pad.Attached("pad", 0);
  pad.Detached();  // standing: nothing to pause
  EXPECT_TRUE(panel.paused.empty());
  pad.Attached("pad", 1);
  panel.running = true;
  pad.Detached();
  ASSERT_EQ(panel.paused.size(), 1u);
  EXPECT_EQ(panel.paused[0], PadPause::Unplugged);

  // A pad that reports steadily, heard last at 10 s.
  pad.Attached("pad", 9);
  pad.setReportsSteadily(true);
  panel.running = true;
  pad.Heard(10);
  pad.Check(10 + kPadSilenceS * 0.98);
  EXPECT_EQ(panel.paused.size(), 1u);
  pad.Check(10 + kPadSilenceS);
  ASSERT_EQ(panel.paused.size(), 2u);
  EXPECT_EQ(panel.paused[1], PadPause::Silent);
  panel.running = true;  // moved again without the pad: told once, not again
  pad.Check(12);
  EXPECT_EQ(panel.paused.size(), 2u);
  pad.Heard(12);
  pad.Check(12.6);
  EXPECT_EQ(panel.paused.size(), 3u);

  // One that only speaks when touched cannot be told silent from still.
  pad.setReportsSteadily(false);
  panel.running = true;
  pad.Check(100);
  EXPECT_EQ(panel.paused.size(), 3u);
}

}  // namespace
}  // namespace gp
