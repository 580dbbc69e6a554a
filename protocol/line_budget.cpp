#include "protocol/line_budget.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/conversions.h"
#include "protocol/line.h"

namespace gp {
namespace {

constexpr double kLineBytesPerSecond = line::kBytesPerSecond;
constexpr double kPositionBytes = 11.0;  // "SW0 n hhhh" and two carriage returns

// Two significant figures for the small figures people compare against 0.96.
std::string KiloBytes(double bytesPerSecond) {
  const double kb = bytesPerSecond / 1000.0;
  return FixedText(kb, kb < 1.0 ? 2 : kb < 10.0 ? 1 : 0);
}

// A count a period: one decimal below 10 ("4.4"), whole numbers above.
std::string Count(double count) {
  return FixedText(count, count < 9.95 ? 1 : 0);
}

}  // namespace

LineBudget ComputeLineBudget(int enabledModules, int gaitIntervalMs, int refreshIntervalMs) {
  LineBudget budget;
  budget.carriesBytesPerSecond = kLineBytesPerSecond;
  const int modules = std::max(0, enabledModules);
  const int gaitMs = std::max(1, gaitIntervalMs);
  const int refreshMs = std::max(1, refreshIntervalMs);
  const double roundBytes = modules * kPositionBytes;
  budget.asksBytesPerSecond = roundBytes * (1000.0 / gaitMs + 1000.0 / refreshMs);
  if (modules == 0) return budget;
  // Per channel, positions a second: written (the moments both timers fall
  // due counted once), and the channel's share of a full line.
  const double writes = 1000.0 / gaitMs + 1000.0 / refreshMs - 1000.0 / std::lcm(gaitMs, refreshMs);
  const double share = kLineBytesPerSecond / roundBytes;
  const double periodSeconds = kLineBudgetStepsPerPeriod * gaitMs / 1000.0;
  budget.positionsPerPeriod = std::min(writes, share) * periodSeconds;
  // A full line hands each channel its newest position every 1/share
  // seconds; a step is missed when a second tick falls in between.
  budget.everyStep = share * gaitMs / 1000.0 >= 1.0;
  budget.stepsPerPeriod =
      budget.everyStep ? kLineBudgetStepsPerPeriod : std::min<double>(budget.positionsPerPeriod, kLineBudgetStepsPerPeriod);
  return budget;
}

std::string LineBudgetText(int enabledModules, int gaitIntervalMs, int refreshIntervalMs) {
  const LineBudget b = ComputeLineBudget(enabledModules, gaitIntervalMs, refreshIntervalMs);
  std::string text = "asks " + KiloBytes(b.asksBytesPerSecond) + " kB/s of " + KiloBytes(b.carriesBytesPerSecond);
  if (b.positionsPerPeriod <= 0) return text + ": no servo enabled";
  if (b.everyStep) return text + ": each servo gets every step, " + Count(b.positionsPerPeriod) + " positions a period";
  // One decimal, so that 19.9 steps never read as all twenty.
  const std::string steps = FixedText(std::floor(b.stepsPerPeriod * 10) / 10, 1);
  return text + ": each servo gets " + steps + " of the " +
         std::to_string(kLineBudgetStepsPerPeriod) + " steps a period";
}

}  // namespace gp
