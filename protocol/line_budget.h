#pragma once
// What the gait asks of the serial line against what 9600 baud carries, and
// what then reaches each servo: how many positions a gait period, and whether
// every step of the wave arrives. Robot builders pick the gait interval and
// the number of modules by it. Plain standard C++.
//
// The transmit queue keeps one position waiting per channel (the newest) and
// gives every channel the same share of the line. So a channel receives every
// position written to it while the line keeps up, and otherwise its share:
// 960 / (11 x enabled modules) positions a second, each the newest. A write of
// both timers at the same moment counts once: the later replaces the waiting
// earlier one. A servo gets every step when it is updated at least once per
// tick of the gait clock.

#include <string>

namespace gp {

// The gait's period in ticks of its clock (the gait layer checks it against
// its own figure).
constexpr int kLineBudgetStepsPerPeriod = 20;

struct LineBudget {
  double asksBytesPerSecond = 0;     // positions of both timers while moving
  double carriesBytesPerSecond = 0;  // the line
  // What reaches each enabled servo in one gait period; 0 with none enabled.
  double positionsPerPeriod = 0;  // the refresh's repeats included
  double stepsPerPeriod = 0;      // of the period's steps, how many arrive
  bool everyStep = false;         // every step of the wave arrives
};

// enabledModules of the eight; the intervals of the gait timer and of the
// position refresh, in milliseconds (at least 1).
LineBudget ComputeLineBudget(int enabledModules, int gaitIntervalMs, int refreshIntervalMs);

// "asks 8.8 kB/s of 0.96: each servo gets 4.4 of the 20 steps a period", or
// "...: each servo gets every step, 1000 positions a period".
std::string LineBudgetText(int enabledModules, int gaitIntervalMs, int refreshIntervalMs);

}  // namespace gp
