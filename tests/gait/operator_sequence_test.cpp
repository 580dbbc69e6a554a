// The operator's sequence as the line carries it: the same bytes whether the
// panel's handlers or a run without the panel send them.

#include "gait/operator_sequence.h"

#include <gtest/gtest.h>

#include "tests/support/recording_sink.h"

namespace gp {
namespace {

TEST(OperatorSequence, ChecksAddressTheirChannelAndTheNinthItsOwn) {
  ModuleTable table;
  testing::RecordingSink out;
  ClickCheck(table, out, 1, true);
  ClickCheck(table, out, 8, true);
  ClickCheck(table, out, 9, true);
  ClickCheck(table, out, 8, false);
  ClickCheck(table, out, 9, false);
  EXPECT_EQ(out.events, (std::vector<std::string>{"C:SE00\r", "C:SE07\r", "C:SE13\r", "C:SD07\r", "C:SD13\r"}));
  EXPECT_EQ(table.ServoEnabled[1], kTrue);
  EXPECT_EQ(table.ServoEnabled[8], kFalse);
  EXPECT_EQ(table.ServoEnabled[9], kFalse);
}

TEST(OperatorSequence, StartingAGaitTicksTheEnabledModulesInOrderThenMoves) {
  ModuleTable table;
  GaitState state;
  table.ServoEnabled[5] = kTrue;
  table.ServoEnabled[2] = kTrue;
  table.ServoEnabled[9] = kTrue;  // not a module: the gait never ticks it
  testing::RecordingSink out;
  StartGait(table, state, out);
  EXPECT_EQ(out.events, (std::vector<std::string>{"C:SE01\r", "C:SE04\r", "C:SO\r", "C:SC\r"}));
  EXPECT_EQ(state.Running, kTrue);
  EXPECT_EQ(state.StepIndex, 0);  // "Move" leaves the step where it is

  ModuleTable noModule;
  testing::RecordingSink bare;
  StartGait(noModule, state, bare);
  EXPECT_EQ(bare.events, (std::vector<std::string>{"C:SO\r", "C:SC\r"}));
}

}  // namespace
}  // namespace gp
