#include "protocol/protocol.h"

#include <gtest/gtest.h>

#include <vector>

#include "gait/waveform.h"
#include "protocol/command_sink.h"
#include "tests/support/recording_sink.h"

namespace gp {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

using testing::RecordingSink;

TEST(Protocol, PositionCommandsCarryTheWorkedBytes) {
  const auto line = [](std::int16_t module, std::int32_t width) {
    RecordingSink r;
    SendServoCommand(r, module, BuildPositionCommand(kPositionPrefix, module, PulseText(width)));
    EXPECT_EQ(r.commands.at(0).channel, module - 1);
    return Hex(r.commands.at(0).bytes);
  };
  EXPECT_EQ(line(1, 1500), "53 57 30 20 30 30 35 44 43 0D 0D");
  EXPECT_EQ(line(8, 1500), "53 57 30 20 37 30 35 44 43 0D 0D");
  EXPECT_EQ(line(3, 1833), "53 57 30 20 32 30 37 32 39 0D 0D");
  EXPECT_EQ(line(1, 500), "53 57 30 20 30 30 31 46 34 0D 0D");
  EXPECT_EQ(line(1, 2500), "53 57 30 20 30 30 39 43 34 0D 0D");
  // Fields are copied as given; the builder validates nothing.
  EXPECT_EQ(Hex(BuildPositionCommand("SW0", 1, "")), "53 57 30 20 30 0D");
  EXPECT_EQ(BuildPositionCommand("SW0", 0, "05DC"), "SW0-105DC\r");
  EXPECT_EQ(BuildPositionCommand("SW0", 1, "01000"), "SW0 001000\r");
}

TEST(Protocol, FixedCommandsAreWholeLiteralsWithOneCarriageReturn) {
  for (int ch = 0; ch < 8; ++ch) {
    const std::string two = std::string(1, '0') + char('0' + ch);
    EXPECT_EQ(kEnableChannel[ch], "SE" + two);
    EXPECT_EQ(kDisableChannel[ch], "SD" + two);
  }
  RecordingSink r;
  for (auto lit : {kEnableChannel[0], kDisableChannel[7], kEnableNinth, kDisableNinth, kAllOn,
                   kAllConfirm, kAllOff})
    WriteCommand(r, lit);
  ASSERT_EQ(r.commands.size(), 7u);
  EXPECT_EQ(Hex(r.commands[0].bytes), "53 45 30 30 0D");
  EXPECT_EQ(Hex(r.commands[1].bytes), "53 44 30 37 0D");
  EXPECT_EQ(Hex(r.commands[2].bytes), "53 45 31 33 0D");
  EXPECT_EQ(Hex(r.commands[3].bytes), "53 44 31 33 0D");
  EXPECT_EQ(Hex(r.commands[4].bytes), "53 4F 0D");
  EXPECT_EQ(Hex(r.commands[5].bytes), "53 43 0D");
  EXPECT_EQ(Hex(r.commands[6].bytes), "53 46 0D");
  for (const auto& c : r.commands) EXPECT_FALSE(c.IsPosition());
}

// What went on the line reads back as what was sent: every module's
// position keeps its channel; the fixed commands and near misses have none.
TEST(CommandFromBytes, ReadsBackWhatWasBuilt) {
  for (std::int16_t n = 1; n <= 8; ++n) {
    const ServoCommand sent = PositionCommand(n, BuildPositionCommand(kPositionPrefix, n, "5DC"));
    const ServoCommand read = CommandFromBytes(sent.bytes);
    EXPECT_EQ(read.channel, sent.channel) << n;
    EXPECT_EQ(read.bytes, sent.bytes);
  }
  for (const char* other : {"SO\r", "SE00\r", "SD13\r", "SW0 8100\r\r", "SW0-1100\r\r", "SW0 \r", "SW07100\r\r",
                            "SW1 0100\r\r", ""}) {
    EXPECT_FALSE(CommandFromBytes(other).IsPosition()) << other;
    EXPECT_EQ(CommandFromBytes(other).bytes, other);
  }
}

// What the panel itself sends is a command, from every source of bytes it
// has; a cut, glued, padded or foreign byte is not, and the fault is placed
// at the first byte no command has there.
TEST(Grammar, AcceptsWhatThePanelSendsAndPlacesEveryOtherFault) {
  std::vector<std::string> sent;
  for (int module = 1; module <= 8; ++module)
    for (std::int32_t width : {0, 16, 500, 1500, 2500, 4095, 65535, -1}) {
      RecordingSink r;
      const auto m = static_cast<std::int16_t>(module);
      SendServoCommand(r, m, BuildPositionCommand(kPositionPrefix, m, PulseText(width)));
      sent.push_back(r.commands.at(0).bytes);
    }
  sent.push_back(PositionCommand(1, "SW0 0\r").bytes);  // a refresh before the first step: no pulse digits
  for (auto literal : {kAllOn, kAllConfirm, kAllOff, kEnableNinth, kDisableNinth}) sent.push_back(ControlCommand(literal).bytes);
  for (auto literal : kEnableChannel) sent.push_back(ControlCommand(literal).bytes);
  for (auto literal : kDisableChannel) sent.push_back(ControlCommand(literal).bytes);
  for (const auto& bytes : sent) {
    EXPECT_LE(bytes.size(), kMaxCommandBytes) << bytes;
    EXPECT_FALSE(CheckCommandBytes(bytes)) << bytes;
  }

  const struct {
    std::string bytes;
    std::size_t at;
    const char* says;
  } refused[] = {
      {"S", 1, "ends before"},                         // a line cut after its first byte
      {"SW0 05DC\r", 9, "ends before"},                // one carriage return short
      {"SF\rSO\r", 3, "'S'"},                          // two glued together
      {"SW0 0123456789AB\r\r", 15, "'B'"},             // eleven pulse digits
      {"SW0 05dc\r\r", 6, "'d'"},                      // lower case
      {"SW0 85DC\r\r", 4, "'8'"},                      // no channel 8
      {std::string("SW0 0\0" "5DC\r\r", 11), 5, "0x00"},  // a raw NUL
      {"SE14\r", 3, "'4'"},
      {"sf\r", 0, "'s'"},
      {"", 0, "ends before"},
  };
  for (const auto& r : refused) {
    const auto fault = CheckCommandBytes(r.bytes);
    ASSERT_TRUE(fault) << r.bytes;
    EXPECT_EQ(fault->at, r.at) << r.bytes;
    EXPECT_NE(fault->reason.find(r.says), std::string::npos) << r.bytes << ": " << fault->reason;
  }
}

TEST(Delay, CountsHalvesToEvenAndNothingBelowOne) {
  EXPECT_EQ(Delay(2000), 2000);
  EXPECT_EQ(Delay(0), 0);
  EXPECT_EQ(Delay(-5), 0);
  EXPECT_EQ(Delay(2.5), 2);
  EXPECT_EQ(Delay(3.5), 4);
  EXPECT_EQ(Delay(32767), 32767);
  EXPECT_EQ(Delay(1e9), 0);  // beyond the 16-bit counter: no pass
}

}  // namespace
}  // namespace gp
