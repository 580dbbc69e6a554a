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
