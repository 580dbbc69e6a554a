#pragma once
// What the gait asks of the serial line against what 9600 baud carries, and
// how often each servo then gets a fresh position. Robot builders pick the
// gait interval by it. Plain standard C++.

#include <string>

namespace gp {

struct LineBudget {
  double asksBytesPerSecond = 0;     // positions of both timers while moving
  double carriesBytesPerSecond = 0;  // the line
  double servoPeriodMs = 0;          // a fresh position reaches each servo this often; 0 with none enabled
};

// enabledModules of the eight; the intervals of the gait timer and of the
// position refresh, in milliseconds (at least 1).
LineBudget ComputeLineBudget(int enabledModules, int gaitIntervalMs, int refreshIntervalMs);

// "asks 8.8 kB/s of 0.96: each servo updated every 92 ms".
std::string LineBudgetText(int enabledModules, int gaitIntervalMs, int refreshIntervalMs);

}  // namespace gp
