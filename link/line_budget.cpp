#include "link/line_budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/line.h"

namespace gp {
namespace {

constexpr double kLineBytesPerSecond = line::kBytesPerSecond;
constexpr double kPositionBytes = 11.0;  // "SW0 n hhhh" and two carriage returns

// Two significant figures for the small figures people compare against 0.96.
std::string KiloBytes(double bytesPerSecond) {
  const double kb = bytesPerSecond / 1000.0;
  char text[32];
  std::snprintf(text, sizeof text, kb < 1.0 ? "%.2f" : kb < 10.0 ? "%.1f" : "%.0f", kb);
  return text;
}

}  // namespace

LineBudget ComputeLineBudget(int enabledModules, int gaitIntervalMs, int refreshIntervalMs) {
  LineBudget budget;
  budget.carriesBytesPerSecond = kLineBytesPerSecond;
  const int modules = std::max(0, enabledModules);
  const double gaitMs = std::max(1, gaitIntervalMs);
  const double refreshMs = std::max(1, refreshIntervalMs);
  const double roundBytes = modules * kPositionBytes;
  budget.asksBytesPerSecond = roundBytes * (1000.0 / gaitMs + 1000.0 / refreshMs);
  if (modules == 0) return budget;
  // A new position comes once a gait tick; the line carries one to every
  // enabled servo in turn, each the newest of its channel.
  const double lineRoundMs = roundBytes * 1000.0 / kLineBytesPerSecond;
  budget.servoPeriodMs = std::max(gaitMs, lineRoundMs);
  return budget;
}

std::string LineBudgetText(int enabledModules, int gaitIntervalMs, int refreshIntervalMs) {
  const LineBudget b = ComputeLineBudget(enabledModules, gaitIntervalMs, refreshIntervalMs);
  std::string text = "asks " + KiloBytes(b.asksBytesPerSecond) + " kB/s of " + KiloBytes(b.carriesBytesPerSecond);
  if (b.servoPeriodMs <= 0) return text + ": no servo enabled";
  return text + ": each servo updated every " + std::to_string(std::lround(b.servoPeriodMs)) + " ms";
}

}  // namespace gp
