// The transmit queue's rules and pacing, on a clock the test moves by hand.

#include "protocol/transmit_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace gp {
namespace {

using Time = TransmitQueue::Time;
using namespace std::chrono_literals;

ServoCommand Pos(int channel, const std::string& hex) {
  return PositionCommand(static_cast<std::int16_t>(channel + 1),
                         BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(channel + 1), hex));
}

std::vector<std::string> Bytes(const TransmitQueue& q) {
  std::vector<std::string> out;
  for (const auto& e : q.entries()) out.push_back(e.command.bytes);
  return out;
}

// Runs the queue as the link does: wake when it is due, take what it gives.
std::vector<std::pair<Time, TransmitQueue::Entry>> Drain(TransmitQueue& q, Time& now) {
  std::vector<std::pair<Time, TransmitQueue::Entry>> out;
  while (auto due = q.NextDue(now)) {
    now = *due;
    auto e = q.Take(now);
    EXPECT_TRUE(e.has_value()) << "due but nothing given";
    if (!e) break;
    out.emplace_back(now, *e);
  }
  return out;
}

TEST(TransmitQueue, PacesAtTenBitsAByteWithALeadOfAboutTwoCommands) {
  TransmitQueue q(9600);
  EXPECT_EQ(q.LineTime(960), 1s);
  EXPECT_EQ(q.LineTime(11), Time(11458334));  // rounded up, never ahead of the line

  Time now = 5s;
  const Time start = now;
  for (int i = 0; i < 100; ++i) q.Push(ControlCommand(kEnableChannel[i % 8]), now);
  std::size_t handed = 0;
  for (const auto& [at, entry] : Drain(q, now)) {
    // Never more than the lead (11 bytes) waiting when the next goes, and
    // never idle while work waits: the line is still busy at every hand-over
    // after the first.
    const Time backlogAfter = q.LineTime(handed + entry.command.bytes.size()) - (at - start);
    EXPECT_LE(backlogAfter, q.LineTime(TransmitQueue::kLeadBytes + entry.command.bytes.size()));
    if (handed > 0) {
      EXPECT_GT(backlogAfter, q.LineTime(entry.command.bytes.size()));
    }
    handed += entry.command.bytes.size();
  }
  EXPECT_EQ(handed, 500u);
  EXPECT_EQ(q.counters().sent, 100u);
  EXPECT_EQ(q.counters().bytesSent, 500u);
  EXPECT_EQ(q.counters().largestQueue, 100u);
  // 500 bytes at 960 a second, to within rounding.
  EXPECT_NEAR(std::chrono::duration<double>(q.LineIdleAt() - start).count(), 500.0 / 960.0, 1e-6);

  // From an idle line two positions go at once, the third waits its turn.
  TransmitQueue fresh(9600);
  for (int c = 0; c < 3; ++c) fresh.Push(Pos(c, "05DC"), now);
  EXPECT_TRUE(fresh.Take(now));
  EXPECT_TRUE(fresh.Take(now));
  EXPECT_FALSE(fresh.Take(now));
  EXPECT_EQ(*fresh.NextDue(now), now + fresh.LineTime(11));
}

TEST(TransmitQueue, PortBacklogHoldsTheClockBack) {
  TransmitQueue q(9600);
  const Time now = 1s;
  q.Push(ControlCommand(kAllOff), now);
  // The port still holds 100 bytes: nothing more until only the lead is left.
  EXPECT_FALSE(q.Take(now, 100));
  EXPECT_EQ(*q.NextDue(now), now + q.LineTime(100) - q.LineTime(TransmitQueue::kLeadBytes));
  EXPECT_TRUE(q.Take(*q.NextDue(now), 11));
}

TEST(TransmitQueue, LatestPositionReplacesTheWaitingOneInPlace) {
  TransmitQueue q;
  q.Push(Pos(0, "05DC"), 1ms);
  q.Push(Pos(1, "05DC"), 2ms);
  q.Push(Pos(2, "05DC"), 3ms);
  EXPECT_EQ(q.Push(Pos(1, "09C4"), 4ms), TransmitQueue::Placement::ReplacedInPlace);
  EXPECT_EQ(Bytes(q), (std::vector<std::string>{"SW0 005DC\r\r", "SW0 109C4\r\r", "SW0 205DC\r\r"}));
  EXPECT_EQ(q.entries()[1].queuedAt, 4ms);  // the age is the new bytes' age
  EXPECT_EQ(q.counters().stale, 1u);
  EXPECT_EQ(q.counters().largestQueue, 3u);
}

TEST(TransmitQueue, PositionBehindAControlCommandIsDroppedAndAppended) {
  TransmitQueue q;
  q.Push(Pos(0, "05DC"), 1ms);
  q.Push(Pos(1, "05DC"), 1ms);
  q.Push(ControlCommand(kAllOff), 2ms);
  EXPECT_EQ(q.Push(Pos(0, "0600"), 3ms), TransmitQueue::Placement::DroppedAndAppended);
  EXPECT_EQ(Bytes(q), (std::vector<std::string>{"SW0 105DC\r\r", "SF\r", "SW0 00600\r\r"}));
  q.Push(Pos(1, "0601"), 4ms);
  q.Push(Pos(0, "0602"), 5ms);  // now nothing stands behind it: in place
  EXPECT_EQ(Bytes(q), (std::vector<std::string>{"SF\r", "SW0 00602\r\r", "SW0 10601\r\r"}));
  EXPECT_EQ(q.counters().stale, 3u);
}

TEST(TransmitQueue, ChannelsTakeTurnsWhateverOrderTheyAreWrittenIn) {
  TransmitQueue q;
  Time now = 1s;
  q.Push(Pos(7, "0700"), now);
  q.Push(Pos(0, "0000"), now);
  ASSERT_EQ(q.Take(now)->command.channel, 7);
  ASSERT_EQ(q.Take(now)->command.channel, 0);
  // The next tick writes in module order; channel 7 has waited longer.
  q.Push(Pos(0, "0001"), now);
  q.Push(Pos(7, "0701"), now);
  EXPECT_EQ(Bytes(q), (std::vector<std::string>{Pos(7, "0701").bytes, Pos(0, "0001").bytes}));
  // Never across a control command.
  q.Push(ControlCommand(kAllOff), now);
  q.Push(Pos(3, "0300"), now);
  EXPECT_EQ(q.entries()[2].command.bytes, "SF\r");

  // Eight channels, both timers at 20 ms: every channel gets the same share.
  TransmitQueue line;
  std::map<int, int> share;
  for (int tick = 0; tick < 2000; ++tick) {
    for (int c = 0; c < 8; ++c) line.Push(Pos(c, "05DC"), now);
    const Time next = now + (tick % 2 ? 20ms : 0ms);
    while (auto due = line.NextDue(now)) {
      if (*due > next) break;
      now = *due;
      ++share[line.Take(now)->command.channel];
    }
    now = next;
  }
  for (int c = 1; c < 8; ++c) EXPECT_LE(std::abs(share[c] - share[0]), 1) << c;
}

TEST(TransmitQueue, EnableAllGoesOutBackToBackAheadOfLaterPositions) {
  TransmitQueue q;
  Time now = 1s;
  for (int c = 0; c < 8; ++c) q.Push(Pos(c, "05DC"), now);
  q.Push(ControlCommand(kAllOn), now);
  q.Push(ControlCommand(kAllConfirm), now);
  for (int c = 0; c < 8; ++c) q.Push(Pos(c, "0700"), now);
  std::vector<std::string> line;
  for (auto& [at, e] : Drain(q, now)) line.push_back(e.command.bytes);
  ASSERT_EQ(line.size(), 10u);
  EXPECT_EQ(line[0], "SO\r");
  EXPECT_EQ(line[1], "SC\r");
  for (int c = 0; c < 8; ++c) EXPECT_EQ(line[2 + c], Pos(c, "0700").bytes);
}

// Any mixture of commands and hand-overs: control commands all go, in order;
// each channel's positions go in order and its last one always goes; a
// position goes after exactly the control commands given before it; at most
// one position per channel ever waits.
TEST(TransmitQueue, RandomStreamsKeepEveryRule) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 50; ++round) {
    TransmitQueue q;
    Time now = 1s;
    int pushed = 0;
    std::vector<int> controlsIn;
    std::map<std::string, int> pushIndex;  // every command's bytes are unique
    std::map<int, int> lastPosition;       // channel -> push index
    std::map<int, int> channelOf;          // push index -> channel, positions only
    std::vector<int> out;
    auto take = [&] {
      while (auto e = q.Take(now)) out.push_back(pushIndex.at(e->command.bytes));
    };
    for (int i = 0; i < 400; ++i) {
      const auto r = rng() % 10;
      if (r < 7) {
        const int channel = static_cast<int>(rng() % 8);
        const ServoCommand p = Pos(channel, std::to_string(pushed));
        pushIndex[p.bytes] = pushed;
        q.Push(p, now);
        lastPosition[channel] = pushed;
        channelOf[pushed] = channel;
      } else {
        // SE/SD literals are reused, so tag controls by a unique suffix.
        ServoCommand c = ControlCommand(kAllOff);
        c.bytes += std::to_string(pushed);
        pushIndex[c.bytes] = pushed;
        q.Push(c, now);
        controlsIn.push_back(pushed);
      }
      ++pushed;
      std::map<int, int> waiting;
      for (const auto& e : q.entries())
        if (e.command.IsPosition()) {
          ASSERT_EQ(++waiting[e.command.channel], 1);
        }
      now += Time(rng() % 4'000'000);
      take();
    }
    while (auto due = q.NextDue(now)) {
      now = *due;
      take();
    }
    std::vector<int> controlsOut;
    std::map<int, int> lastOut;  // channel -> push index of its last position out
    for (int index : out) {
      const auto channel = channelOf.find(index);
      if (channel == channelOf.end()) {
        controlsOut.push_back(index);
        continue;
      }
      const auto given = static_cast<std::size_t>(
          std::count_if(controlsIn.begin(), controlsIn.end(), [&](int c) { return c < index; }));
      EXPECT_EQ(controlsOut.size(), given) << "position " << index << " moved across a control";
      auto [it, first] = lastOut.emplace(channel->second, index);
      if (!first) {
        EXPECT_LT(it->second, index) << "channel " << channel->second << " out of order";
        it->second = index;
      }
    }
    EXPECT_EQ(controlsOut, controlsIn);
    for (const auto& [channel, index] : lastPosition) EXPECT_EQ(lastOut[channel], index);
    EXPECT_EQ(q.counters().sent, out.size());
    EXPECT_EQ(q.counters().sent + q.counters().stale, static_cast<std::uint64_t>(pushed));
  }
}

}  // namespace
}  // namespace gp
