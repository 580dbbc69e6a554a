#include "app/simulate.h"

#include <memory>
#include <string>

#include "core/app_info.h"
#include "app/exit_status.h"
#include "files/gait_file.h"
#include "gait/module_table.h"
#include "sim/headless_run.h"
#include "sim/robot/robot.h"

namespace gp {
namespace {

// The built-in robot a gait file's notes say it is for: the robot its first
// sentence names ("Snake robot.", "Caterpillar robot, ...", "Pitch-yaw snake
// robot ..."), or nothing for "Any robot" and notes that name none.
std::string RobotOfNotes(const QString& notes) {
  const QString first = notes.section(QLatin1Char('.'), 0, 0).toLower();
  if (first.contains(QLatin1String("any robot")) || first.contains(QLatin1String("either robot"))) return {};
  if (first.contains(QLatin1String("pitch-yaw"))) return "pitch-yaw";
  if (first.contains(QLatin1String("caterpillar"))) return "caterpillar";
  if (first.contains(QLatin1String("snake"))) return "snake";
  return {};
}

}  // namespace

int RunSimulate(const SimulateRequest& request, std::FILE* out, std::FILE* err) {
  const auto report = [&](const std::string& why, int status) {
    std::fprintf(err, "%s: %s\n", kAppName, why.c_str());
    std::fflush(err);
    return status;
  };

  files::Gait gait;
  QString readError;
  if (!files::ReadGaitFile(request.gaitFile, &gait, &readError))
    return report(readError.toStdString(), kUsageExitCode);

  const ModuleTable table = files::GaitTable(gait);
  // A gait written for another robot still runs (trying one on another is
  // a fair experiment) but the person is told.
  const std::string meant = RobotOfNotes(gait.notes);
  if (!meant.empty() && meant != request.robot && sim::Robot::BuiltInModel(request.robot)) {
    std::fprintf(err, "%s: warning: %s was written for the %s robot, not the %s robot\n", kAppName,
                 request.gaitFile.toLocal8Bit().constData(), meant.c_str(), request.robot.c_str());
    std::fflush(err);
  }

  std::string error;
  std::unique_ptr<sim::Robot> loaded = sim::Robot::Load(request.robot, &error);
  if (!loaded) return report(error, kUsageExitCode);
  const auto result = sim::RunHeadless(table, gait.intervalMs, std::move(loaded), request, &error);
  if (!result) return report(error, kFailureExitCode);
  const std::string json = sim::HeadlessJson(*result);
  std::fputs(json.c_str(), out);
  std::fflush(out);
  return kSuccessExitCode;
}

}  // namespace gp
