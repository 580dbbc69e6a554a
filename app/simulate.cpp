#include "app/simulate.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/app_info.h"
#include "app/console.h"
#include "core/conversions.h"
#include "app/exit_status.h"
#include "files/behaviour_file.h"
#include "files/gait_file.h"
#include "gait/module_table.h"
#include "gait/waveform.h"
#include "protocol/line_budget.h"
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

using sim::kFewestPositionsPerPeriod;
using sim::kSwingingAmplitude;


// The servos that swing but get too few positions a period, in one line,
// with the shortest interval that would give them enough.
void WarnAboutFewPositions(const ModuleTable& table, const sim::HeadlessResult& r, std::FILE* err) {
  std::vector<int> few;
  double least = 0;
  int enabled = 0;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (!IsTrue(table.ServoEnabled[n])) continue;
    ++enabled;
    const double perPeriod = sim::PerPeriod(r, r.positions[static_cast<std::size_t>(n - 1)]);
    if (table.Amp[n] < kSwingingAmplitude || perPeriod >= kFewestPositionsPerPeriod) continue;
    least = few.empty() ? perPeriod : std::min(least, perPeriod);
    few.push_back(n - 1);
  }
  if (few.empty()) return;
  std::string channels;
  for (std::size_t i = 0; i < few.size(); ++i)
    channels += (i == 0 ? "" : i + 1 == few.size() ? " and " : ", ") + std::to_string(few[i]);
  std::string advice;
  for (int ms = r.intervalMs + 1; ms <= kMaxIntervalMs; ++ms) {
    if (ComputeLineBudget(enabled, ms, kDesignIntervalMs).positionsPerPeriod >= kFewestPositionsPerPeriod) {
      advice = "; with " + std::to_string(enabled) + " modules on the 9600-baud line an interval of " +
               std::to_string(ms) + " ms or more gives " + FixedText(kFewestPositionsPerPeriod, 0);
      break;
    }
  }
  std::fprintf(err, "%s: warning: channel%s %s get%s as few as %s positions a gait period, fewer than %s: the "
               "wave reaches %s in coarse jumps%s\n",
               kAppName, few.size() > 1 ? "s" : "", channels.c_str(), few.size() > 1 ? "" : "s",
               FixedText(least, 1).c_str(), FixedText(kFewestPositionsPerPeriod, 0).c_str(),
               few.size() > 1 ? "them" : "it", advice.c_str());
  std::fflush(err);
}

// The run for a person: a few lines, the channels across.
std::string Summary(const files::Gait& gait, const sim::HeadlessResult& r) {
  std::string t;
  t += "Gait:                " + gait.name.toStdString() + ", " + std::to_string(r.intervalMs) + " ms a step, " +
       FixedText(r.periodSeconds, 2) + " s a period\n";
  t += "Robot:               " + r.robot + ", " + (r.idealLine ? "ideal" : "9600-baud") + " line, " +
       FixedText(r.seconds, 1) + " s\n";
  t += "Speed:               " + FixedText(r.speed, 3) + " m/s\n";
  t += "Steady speed:        " + FixedText(r.steadySpeed, 3) + " m/s over the last half\n";
  t += "Body lengths:        " + FixedText(r.bodyLengthsPerPeriod, 2) + " a period\n";
  std::string heading = FixedText(r.headingChangeDeg, 1);
  if (r.headingChangeDeg > 0 && heading != FixedText(0, 1)) heading = "+" + heading;
  t += "Heading change:      " + heading + " degrees (counter-clockwise positive)\n";
  const auto row = [&](const char* label, const auto& cell) {
    char head[32];
    std::snprintf(head, sizeof head, "%-19s", label);
    t += head;
    for (std::size_t c = 0; c < r.positions.size(); ++c) {
      char text[32];
      std::snprintf(text, sizeof text, " %6s", cell(c).c_str());
      t += text;
    }
    t += '\n';
  };
  row("Channel", [](std::size_t c) { return std::to_string(c); });
  row("Positions a period", [&](std::size_t c) { return FixedText(sim::PerPeriod(r, r.positions[c]), 1); });
  row("Steps a period", [&](std::size_t c) {
    return r.positions[c] == 0 ? std::string("-") : FixedText(sim::PerPeriod(r, r.newSteps[c]), 1);
  });
  return t;
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
  SimulateRequest run = request;
  ModuleTable table;
  if (files::IsBehaviourFile(request.gaitFile)) {
    files::Behaviour behaviour;
    if (!files::ReadBehaviourFile(request.gaitFile, &behaviour, &readError))
      return report(readError.toStdString(), kUsageExitCode);
    if (!request.secondsGiven && !behaviour.repeat) run.seconds = behaviour.seconds();
    gait = behaviour.steps.front().gait;
    gait.name = behaviour.name;
    table = files::GaitTable(behaviour.steps.front().gait);
    // Every module a step moves is enabled from the start.
    for (const files::BehaviourStep& step : behaviour.steps) {
      for (int n = kFirstModule; n <= kLastModule; ++n)
        if (step.gait.modules[static_cast<std::size_t>(n - 1)].enabled) table.ServoEnabled[n] = kTrue;
    }
    double at = 0;
    for (std::size_t i = 0; at < run.seconds; i = (i + 1) % behaviour.steps.size()) {
      const files::BehaviourStep& step = behaviour.steps[i];
      sim::GaitStep s;
      s.number = static_cast<int>(i + 1);
      s.startS = at;
      s.name = step.gait.name.toStdString();
      s.table = files::GaitTable(step.gait);
      s.intervalMs = step.gait.intervalMs;
      s.blendS = step.blendS;
      run.steps.push_back(s);
      at += step.seconds;
      if (i + 1 == behaviour.steps.size() && !behaviour.repeat) break;
    }
  } else {
    if (!files::ReadGaitFile(request.gaitFile, &gait, &readError))
      return report(readError.toStdString(), kUsageExitCode);
    table = files::GaitTable(gait);
  }
  if (!request.driveScript.isEmpty() && !files::ReadDriveScript(request.driveScript, &run.drive, &readError))
    return report(readError.toStdString(), kUsageExitCode);
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
  // A floor the model cannot take is the request's fault, not the physics'.
  if (!loaded->SetFloor(request.floor, &error)) return report(error, kUsageExitCode);
  const auto result = sim::RunHeadless(table, gait.intervalMs, std::move(loaded), run, &error);
  if (!result) return report(error, kFailureExitCode);
  const std::string json = sim::HeadlessJson(*result);
  if (std::string why; !WriteChecked(out, json, "standard output", &why)) return report(why, kFailureExitCode);
  WarnAboutFewPositions(table, *result, err);
  // Beside the JSON, never in it: a script reading standard output gets the
  // same bytes with --summary or without.
  if (request.summary) {
    std::fputs(Summary(gait, *result).c_str(), err);
    std::fflush(err);
  }
  return kSuccessExitCode;
}

}  // namespace gp
