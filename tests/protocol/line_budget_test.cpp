// What the line's budget says reaches each servo, on both sides of the
// line's limit.

#include <gtest/gtest.h>

#include "protocol/line_budget.h"

namespace gp {
namespace {

TEST(LineBudget, SaysWhatReachesEachServoAPeriod) {
  // Eight modules at the design intervals: 88 bytes a tick of each timer,
  // and the line's 87 positions a second shared by eight channels. Whatever
  // the interval, eight modules miss steps until a tick outlasts a round of
  // the line (92 ms).
  EXPECT_EQ(LineBudgetText(8, 20, 20), "asks 8.8 kB/s of 0.96: each servo gets 4.3 of the 20 steps a period");
  EXPECT_EQ(LineBudgetText(8, 91, 20), "asks 5.4 kB/s of 0.96: each servo gets 19.8 of the 20 steps a period");
  EXPECT_EQ(LineBudgetText(8, 92, 20), "asks 5.4 kB/s of 0.96: each servo gets every step, 20 positions a period");
  EXPECT_EQ(LineBudgetText(0, 20, 20), "asks 0.00 kB/s of 0.96: no servo enabled");
  // Slow ticks: every step, and the refresh's repeats as far as the line
  // carries them (all of them within its means, a tick and a refresh at the
  // same moment counted once).
  EXPECT_EQ(LineBudgetText(1, 1000, 20), "asks 0.56 kB/s of 0.96: each servo gets every step, 1000 positions a period");
  EXPECT_EQ(LineBudgetText(2, 100, 20), "asks 1.3 kB/s of 0.96: each servo gets every step, 87 positions a period");
  EXPECT_EQ(LineBudgetText(1, 30, 20), "asks 0.92 kB/s of 0.96: each servo gets every step, 40 positions a period");
}

}  // namespace
}  // namespace gp
