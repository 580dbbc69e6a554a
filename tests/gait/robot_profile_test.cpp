// A robot profile between the gait and the line: on a pseudo-terminal, the
// pulses each module receives stay within its limits and reach them, a
// reversed and trimmed module gets the mirrored, offset angle, the speed
// limit holds between consecutive positions, the soft start grows the swing,
// and without a profile the line carries exactly the gait's own bytes.

#include "gait/robot_profile.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "gait/gait_tick.h"
#include "gait/waveform.h"
#include "link/serial_link.h"
#include "tests/support/pty_pair.h"
#include "tests/support/null_sink.h"

namespace gp {
namespace {

constexpr double kTickS = 0.02;

struct Position {
  int channel;
  int pulse;
};

// The positions on the line, in order.
std::vector<Position> Positions(const std::string& line) {
  std::vector<Position> out;
  for (std::size_t at = line.find("SW0 "); at != std::string::npos; at = line.find("SW0 ", at + 1)) {
    const std::size_t end = line.find('\r', at);
    if (end == std::string::npos || end < at + 6) break;
    out.push_back({line[at + 4] - '0', std::stoi(line.substr(at + 5, end - at - 5), nullptr, 16)});
  }
  return out;
}

std::map<int, std::vector<int>> ByChannel(const std::vector<Position>& positions) {
  std::map<int, std::vector<int>> out;
  for (const Position& p : positions) out[p.channel].push_back(p.pulse);
  return out;
}

int Pulse(double angle) { return *AngleToPulse(angle); }

// Runs `ticks` gait ticks of the modules enabled in `table` onto a
// pseudo-terminal through the serial link, waiting each time until the line
// has carried every position, so none is left out as stale.
std::string RunOnLine(ModuleTable table, int ticks, ProfileApplier* profile) {
  testing::PtyPair pty;
  SerialLink link;
  if (!pty.ok() || !link.Open(pty.slavePath())) return "no line";
  GaitState state;
  state.Running = kTrue;
  int enabled = 0;
  for (int n = kFirstModule; n <= kLastModule; ++n) enabled += IsTrue(table.ServoEnabled[n]) ? 1 : 0;
  std::string line;
  for (int k = 0; k < ticks; ++k) {
    if (profile) profile->setNow(k * kTickS);
    GaitTick(table, state, link, nullptr, profile);
    line += pty.ReadUntil(static_cast<std::size_t>(11 * enabled), 3000);
  }
  return line;
}

ModuleTable Swinging(std::initializer_list<int> modules, std::int16_t amplitude) {
  ModuleTable table;
  for (int n : modules) {
    table.Amp[n] = amplitude;
    table.Phase[n] = 36.0 * n;
    table.ServoEnabled[n] = kTrue;
  }
  return table;
}

}  // namespace

class RobotProfileTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutProfileTheLineCarriesTheGaitsOwnBytes() {
    const ModuleTable table = Swinging({1, 3, 8}, 90);
    const std::string line = RunOnLine(table, 21, nullptr);
    std::string expected;
    for (std::int16_t step = 1; step <= 21; ++step) {
      const auto s = static_cast<std::int16_t>((step - 1) % kStepsPerPeriod + 1);
      for (int n : {1, 3, 8}) {
        const double a = GaitAngle(table.Amp[n], table.Phase[n], table.InitAngle[n], s);
        expected += BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(n), PulseText(Pulse(a))) + "\r";
      }
    }
    QCOMPARE(QByteArray::fromStdString(line), QByteArray::fromStdString(expected));
  }

  void pulsesStayWithinTheLimitsAndReachThem() {
    RobotProfile profile;
    profile.modules[0] = {-40, 30, 0, false, std::nullopt};
    profile.modules[4] = {-15, 60, 0, false, std::nullopt};
    ProfileApplier applier(profile);
    const auto got = ByChannel(Positions(RunOnLine(Swinging({1, 5}, 90), 40, &applier)));
    for (const auto& [channel, low, high] : {std::tuple{0, -40, 30}, std::tuple{4, -15, 60}}) {
      const auto& pulses = got.at(channel);
      QCOMPARE(pulses.size(), std::size_t{40});
      QCOMPARE(*std::min_element(pulses.begin(), pulses.end()), Pulse(low));
      QCOMPARE(*std::max_element(pulses.begin(), pulses.end()), Pulse(high));
    }
  }

  void reversalAndTrimComeAfterTheClamp() {
    RobotProfile profile;
    profile.modules[1] = {-40, 40, 5, true, std::nullopt};  // module 2
    profile.modules[2] = {-40, 40, -7, false, std::nullopt};  // module 3
    ProfileApplier applier(profile);
    const ModuleTable table = Swinging({2, 3}, 60);
    const auto got = ByChannel(Positions(RunOnLine(table, 20, &applier)));
    for (std::int16_t step = 1; step <= 20; ++step) {
      const auto at = static_cast<std::size_t>(step - 1);
      const double a2 = std::clamp(GaitAngle(60, table.Phase[2], 0, step), -40.0, 40.0);
      const double a3 = std::clamp(GaitAngle(60, table.Phase[3], 0, step), -40.0, 40.0);
      QCOMPARE(got.at(1)[at], Pulse(-a2 + 5));
      QCOMPARE(got.at(2)[at], Pulse(a3 - 7));
    }
    // The extremes: the clamped limits mirrored, then moved by the trim.
    QCOMPARE(*std::max_element(got.at(1).begin(), got.at(1).end()), Pulse(45));
    QCOMPARE(*std::min_element(got.at(1).begin(), got.at(1).end()), Pulse(-35));
  }

  void consecutivePositionsKeepToTheSpeedLimit() {
    RobotProfile profile;
    profile.modules[3].maxSpeedDegS = 300;  // 6 degrees a tick; the gait asks up to 28
    ProfileApplier applier(profile);
    const auto pulses = ByChannel(Positions(RunOnLine(Swinging({4}, 90), 60, &applier))).at(3);
    QCOMPARE(pulses.size(), std::size_t{60});
    const double most = 300 * kTickS * 2000.0 / 180.0;
    int largest = 0;
    for (std::size_t i = 1; i < pulses.size(); ++i) largest = std::max(largest, std::abs(pulses[i] - pulses[i - 1]));
    QVERIFY2(largest <= std::ceil(most) + 1, qPrintable(QString::number(largest)));
    QVERIFY(largest >= std::floor(most) - 1);  // the limit holds the gait back, it does not stop it
  }

  void softStartGrowsTheSwingFromNothing() {
    RobotProfile profile;
    profile.softStartS = 2;
    ProfileApplier applier(profile);
    ModuleTable table = Swinging({1}, 50);
    table.InitAngle[1] = 10;
    GaitState state;
    state.Running = kTrue;
    gp::testing::NullSink sink;
    std::vector<double> swing(5, 0.0);  // the widest swing in each half second
    for (int k = 0; k < 200; ++k) {
      applier.setNow(k * kTickS);
      GaitTick(table, state, sink, nullptr, &applier);
      const double off = std::abs((table.PulseWidth[1] - Pulse(10)) * 180.0 / 2000.0);
      auto& widest = swing[std::min<std::size_t>(4, static_cast<std::size_t>(k / 25))];
      widest = std::max(widest, off);
    }
    QVERIFY(swing[0] < 15);
    for (std::size_t i = 1; i < 4; ++i) QVERIFY(swing[i] > swing[i - 1]);
    QVERIFY(std::abs(swing[4] - 50) < 0.5);
    // The gait's own angle is kept as it is; only what is sent is scaled.
    QCOMPARE(table.Angle[1], GaitAngle(50, table.Phase[1], 10, state.StepIndex));
  }

  void clippingIsToldOncePerModuleAndStart() {
    RobotProfile profile;
    profile.modules[2] = {-40, 40, 0, false, std::nullopt};
    std::vector<std::pair<int, double>> told;
    ProfileApplier applier(profile, [&](int module, double limit) { told.emplace_back(module, limit); });
    ModuleTable table = Swinging({1, 3}, 90);
    GaitState state;
    gp::testing::NullSink sink;
    for (Bool16 running : {kTrue, kFalse, kTrue}) {
      state.Running = running;
      for (int k = 0; k < 40; ++k) GaitTick(table, state, sink, nullptr, &applier);
    }
    QCOMPARE(told.size(), std::size_t{2});
    QCOMPARE(told[0].first, 3);
    QCOMPARE(std::abs(told[0].second), 40.0);
  }

  // The set of clipped modules comes from the pulses sent: a module that the
  // speed limit still keeps short of its limit is not in it yet, one whose
  // swing only touches a limit of 90 is never in it, and a new start empties
  // it. Every change is told with the whole set, in module order.
  void theClippedSetFollowsThePulsesSent() {
    RobotProfile profile;
    profile.modules[4] = {-30, 30, 0, true, 20.0};  // module 5: reversed, 20 degrees a second
    profile.modules[1] = {-30, 30, 5, false, std::nullopt};  // module 2: trimmed
    std::vector<std::vector<int>> sets;
    ProfileApplier applier(profile);
    applier.setClipsChanged([&](const std::vector<int>& modules) { sets.push_back(modules); });
    ModuleTable table = Swinging({2, 5, 7}, 90);
    GaitState state;
    gp::testing::NullSink sink;
    state.Running = kTrue;
    double now = 0;
    const auto tick = [&] {
      applier.setNow(now);
      GaitTick(table, state, sink, nullptr, &applier);
      now += 0.05;
    };
    tick();
    tick();
    // Module 5 creeps at 20 degrees a second, so it is still far from 30.
    QCOMPARE(applier.clipped(), std::vector<int>{2});
    for (int k = 0; k < 60; ++k) tick();
    QCOMPARE(applier.clipped(), (std::vector<int>{2, 5}));  // module 7 reaches 90 and is not held
    QCOMPARE(sets, (std::vector<std::vector<int>>{{2}, {2, 5}}));
    state.Running = kFalse;
    tick();
    QCOMPARE(applier.clipped(), (std::vector<int>{2, 5}));  // kept while the gait stands
    state.Running = kTrue;
    tick();
    QCOMPARE(sets.at(2), std::vector<int>{});
  }
};

}  // namespace gp

QTEST_GUILESS_MAIN(gp::RobotProfileTest)
#include "robot_profile_test.moc"
