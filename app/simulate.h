#pragma once
// --simulate GAITFILE: the gait on the virtual robot, headless, printing one
// JSON object. Needs no display and no application object.

#include <QString>
#include <cstdio>

#include "sim/headless_run.h"

namespace gp {

// The gait file and how to run it; the robot also stands behind the virtual
// controller with --simulator.
struct SimulateRequest : sim::HeadlessOptions {
  QString gaitFile;
};

// Runs the request; the JSON goes to `out`, a failure's one line to `err`.
// Returns the process's exit status: kUsageExitCode when the gait file or
// the robot model cannot be used, kFailureExitCode when the physics failed.
int RunSimulate(const SimulateRequest& request, std::FILE* out, std::FILE* err);

}  // namespace gp
