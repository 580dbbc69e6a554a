#pragma once
// --simulate GAITFILE: the gait on the virtual robot, headless, printing one
// JSON object (and with --summary a table for a person). Needs no display and
// no application object.

#include <QString>
#include <cstdio>

#include "sim/headless_run.h"

namespace gp {

// The gait file and how to run it; the robot also stands behind the virtual
// controller with --simulator.
struct SimulateRequest : sim::HeadlessOptions {
  QString gaitFile;  // a gait file, or a behaviour file (its steps one after another)
  QString driveScript;  // rows of steering on the simulated clock
  bool secondsGiven = false;  // else a behaviour runs once through
  bool summary = false;  // also a short table for a person, on `err`
};

// Runs the request; the JSON goes to `out`. To `err` go a failure's one line,
// a warning when servos that swing get fewer than 8 positions a gait period,
// and, asked for, the summary table.
// Returns the process's exit status: kUsageExitCode when the gait file or
// the robot model cannot be used, kFailureExitCode when the physics failed.
int RunSimulate(const SimulateRequest& request, std::FILE* out, std::FILE* err);

}  // namespace gp
