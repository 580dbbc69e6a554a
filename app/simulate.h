#pragma once
// --simulate GAITFILE: the gait on the virtual robot, headless, printing one
// JSON object. Needs no display and no application object.

#include <QString>
#include <cstdio>

namespace gp {

struct SimulateRequest {
  QString gaitFile;
  QString robot = QStringLiteral("snake");  // "snake", "caterpillar" or a model file
  double seconds = 10;
  bool idealLine = false;
};

// Exit status when the gait file or the robot model cannot be used.
constexpr int kSimulateInputExitCode = 2;
// Exit status when the physics itself failed during the run.
constexpr int kSimulateFailedExitCode = 1;

// Runs the request; the JSON goes to `out`, a failure's one line to `err`.
// Returns the process's exit status.
int RunSimulate(const SimulateRequest& request, std::FILE* out, std::FILE* err);

}  // namespace gp
