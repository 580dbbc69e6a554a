#include "gait/gait_tick.h"

#include <gtest/gtest.h>

#include <limits>

#include "gait/waveform.h"
#include "tests/support/recording_sink.h"

namespace gp {
namespace {


class GaitTickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 8; ++n) table.Amp[n] = 90;
  }
  void Tick() { GaitTick(table, state, out, box); }
  void Refresh() { PositionRefresh(table, state, out); }

  ModuleTable table;
  GaitState state;
  // What the gait writes and when its error box opens, in one stream.
  testing::RecordingSink out;
  ErrorBox box = [this](const std::string& text) { out.Note("BOX:" + text); };
};

TEST_F(GaitTickTest, StepCounterCyclesOnEveryTickWhetherRunningOrNot) {
  for (int n = 1; n <= 8; ++n) table.ServoEnabled[n] = kTrue;
  for (int i = 1; i <= 20; ++i) {
    Tick();
    EXPECT_EQ(state.StepIndex, i);
    Refresh();
  }
  Tick();
  EXPECT_EQ(state.StepIndex, 1);
  EXPECT_TRUE(out.events.empty());
  // Any value other than -1 is false.
  state.Running = 1;
  Tick();
  Refresh();
  EXPECT_TRUE(out.events.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(table.PulseHex[n].empty());
}

TEST_F(GaitTickTest, RunningSendsEnabledModulesInOrderAndTheRefreshRepeatsThem) {
  table.ServoEnabled[5] = kTrue;
  table.ServoEnabled[2] = kTrue;
  table.ServoEnabled[9] = kTrue;  // the ninth channel is never driven
  table.Amp[2] = 30;
  table.Phase[5] = 90.0;
  table.Amp[5] = 30;
  state.StepIndex = 4;
  state.Running = kTrue;
  Tick();  // step 5
  ASSERT_EQ(out.events.size(), 2u);
  EXPECT_EQ(out.events[0], "P1:SW0 10729\r\r");
  EXPECT_EQ(out.events[1], "P4:SW0 405DC\r\r");
  EXPECT_EQ(table.PulseWidth[2], 1833);
  EXPECT_EQ(table.CommandText[2], "SW0 10729\r");
  Refresh();
  ASSERT_EQ(out.events.size(), 4u);
  EXPECT_EQ(out.events[2], out.events[0]);
  EXPECT_EQ(out.events[3], out.events[1]);

  // A cleared module stops at once and keeps its cells; an edit shows from the next step.
  table.ServoEnabled[5] = kFalse;
  table.Amp[2] = 0;
  table.InitAngle[2] = 45;
  Refresh();
  EXPECT_EQ(out.events.back(), "P1:SW0 10729\r\r");
  Tick();
  EXPECT_EQ(out.events.back(), "P1:SW0 107D0\r\r");
  EXPECT_EQ(table.PulseHex[5], "05DC");
}

TEST_F(GaitTickTest, ModulesWithoutAPositionAreNotRefreshed) {
  table.ServoEnabled[1] = kTrue;
  table.ServoEnabled[3] = kTrue;
  table.PulseHex[3] = "0600";
  state.Running = kTrue;
  Refresh();
  ASSERT_EQ(out.events.size(), 1u);
  EXPECT_EQ(out.events[0], "P2:SW0 20600\r\r");
  EXPECT_TRUE(table.CommandText[1].empty());
}

TEST_F(GaitTickTest, AnotherControlFunctionShowsOneBoxPerModuleThenHalts) {
  table.ServoEnabled[1] = kTrue;
  table.ServoEnabled[3] = kTrue;
  table.Angle[3] = 45.0;  // left from an earlier run
  state.WaveFunction = 1;
  state.Running = kTrue;
  Tick();
  const std::vector<std::string> expected = {"BOX:Error", "P0:SW0 005DC\r\r", "BOX:Error",
                                             "P2:SW0 207D0\r\r"};
  EXPECT_EQ(out.events, expected);
  EXPECT_EQ(state.Running, kFalse);
  EXPECT_EQ(state.WaveFunction, 1);
  for (int i = 0; i < 5; ++i) {
    Tick();
    Refresh();
  }
  EXPECT_EQ(out.events.size(), expected.size());
}

TEST_F(GaitTickTest, AnUndefinedAngleSendsNothingAndKeepsTheLastCells) {
  table.ServoEnabled[1] = kTrue;
  table.ServoEnabled[2] = kTrue;
  table.Amp[1] = 30;
  state.Running = kTrue;
  Tick();
  ASSERT_EQ(out.events.size(), 2u);
  const std::string lastHex = table.PulseHex[1];
  table.Phase[1] = std::numeric_limits<double>::max();  // the sine's argument overflows
  Tick();
  ASSERT_EQ(out.events.size(), 3u);
  EXPECT_EQ(out.events[2].substr(0, 3), "P1:");
  EXPECT_EQ(table.PulseHex[1], lastHex);
  Refresh();  // the refresh still holds the last good position
  EXPECT_EQ(out.events[3], "P0:" + table.CommandText[1] + "\r");
}

}  // namespace
}  // namespace gp
