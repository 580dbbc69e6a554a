#include <gtest/gtest.h>

#include "sim/controller/controller_model.h"

namespace gp::sim {
namespace {

TEST(ControllerModel, PulseWidthToAngle) {
  EXPECT_DOUBLE_EQ(PulseToAngle(1500), 0.0);
  EXPECT_DOUBLE_EQ(PulseToAngle(2500), 90.0);
  EXPECT_DOUBLE_EQ(PulseToAngle(500), -90.0);
  EXPECT_DOUBLE_EQ(PulseToAngle(1833), 29.97);
  EXPECT_DOUBLE_EQ(PulseToAngle(-1), -135.09);
}

TEST(ControllerModel, KeepsEachChannelsStateAndTheControllerWideCommand) {
  ControllerModel m;
  m.Feed("SE00\rSE04\rSE13\rSO\r", 100);
  m.Feed("SC\rSW0 007D0\r\rSW0 4" "01F4\r\r", 250);
  EXPECT_TRUE(m.channel(0).enabled);
  EXPECT_TRUE(m.channel(4).enabled);
  EXPECT_FALSE(m.channel(1).enabled);
  EXPECT_TRUE(m.ninthEnabled());
  EXPECT_EQ(m.channel(0).pulseWidth, 2000);
  EXPECT_DOUBLE_EQ(m.channel(0).angle, 45.0);
  EXPECT_DOUBLE_EQ(m.channel(4).angle, -90.0);
  EXPECT_FALSE(m.channel(1).hasPosition);
  EXPECT_EQ(m.lastControllerCommand(), CommandKind::AllConfirm);
  EXPECT_EQ(m.lastControllerMs(), 250);

  m.Feed("SD04\rSD13\rSF\rSW0 9\r\r", 400);
  EXPECT_FALSE(m.channel(4).enabled);
  EXPECT_FALSE(m.ninthEnabled());
  EXPECT_EQ(m.lastControllerCommand(), CommandKind::AllOff);
  EXPECT_EQ(m.commands(), 10u);
  EXPECT_EQ(m.malformed(), 1u);
  EXPECT_EQ(m.recentMalformed().back().command.fault, Fault::BadChannel);
  EXPECT_EQ(m.accountedBytes() + m.pendingBytes(), m.bytes());

  for (int i = 0; i < 20; ++i) m.Feed("x\r", 500);
  EXPECT_EQ(m.recentMalformed().size(), ControllerModel::kKeptMalformed);
}

TEST(ControllerModel, RatesAndHistoryFollowTheClock) {
  ControllerModel m;
  // 50 positions a second on channel 2 for three seconds: 11 bytes each.
  for (std::int64_t t = 0; t < 3000; t += 20) m.Feed("SW0 205DC\r\r", t);
  EXPECT_DOUBLE_EQ(m.channel(2).rate.PerSecond(3000), 50.0);
  EXPECT_DOUBLE_EQ(m.commandsPerSecond(3000), 50.0);
  EXPECT_DOUBLE_EQ(m.bytesPerSecond(3000), 550.0);
  EXPECT_DOUBLE_EQ(m.channel(0).rate.PerSecond(3000), 0.0);
  // Quiet for a second: the rates fall to zero.
  EXPECT_DOUBLE_EQ(m.commandsPerSecond(4100), 0.0);

  for (std::int64_t t = 3000; t < 10000; t += 20) m.Feed("SW0 205DC\r\r", t);
  EXPECT_GE(m.channel(2).history.front().ms, 9980 - ControllerModel::kHistoryMs);
  EXPECT_LE(m.channel(2).history.size(), 301u);
}

}  // namespace
}  // namespace gp::sim
