#include "app/search.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/shutdown_signals.h"
#include "core/app_info.h"
#include "core/conversions.h"
#include "app/console.h"
#include "files/file_access.h"
#include "files/floors_file.h"
#include "files/gait_file.h"
#include "search/found_gait.h"
#include "search/gait_search.h"
#include "search/search_report.h"
#include "sim/headless_run.h"

namespace gp {
namespace {

constexpr double kProgressEverySeconds = 0.5;

std::string Duration(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}


// The gait found, as a file that says how it was found.
files::Gait FoundGait(const files::Gait& start, const QString& startName, const sim::SearchResult& result,
                      const sim::SearchSetting& setting) {
  files::Gait gait = files::GaitFromTable(result.bestTable, result.bestIntervalMs);
  gait.name = (start.name.isEmpty() ? QStringLiteral("Gait") : start.name) +
              QStringLiteral(" (searched, %1)").arg(QLatin1String(sim::GoalName(setting.goal)));
  gait.notes = QString::fromStdString(
      sim::FoundGaitNotes({startName.toStdString(), start.name.toStdString(), start.notes.toStdString()}, result, setting));
  return gait;
}

// Where a file is to be written: a folder that is there and may be written.
bool CheckWritable(const QString& path, const char* option, std::string* why) {
  const QFileInfo info(path);
  if (info.isDir()) {
    *why = QDir::toNativeSeparators(path).toStdString() + ": --" + option + " names a folder, not a file";
    return false;
  }
  const QFileInfo folder(info.absolutePath());
  if (!folder.isDir()) {
    *why = QDir::toNativeSeparators(path).toStdString() + ": there is no folder " +
           QDir::toNativeSeparators(folder.filePath()).toStdString();
    return false;
  }
  if (!folder.isWritable() || (info.exists() && !info.isWritable())) {
    *why = QDir::toNativeSeparators(path).toStdString() + ": cannot be written (permission denied)";
    return false;
  }
  return true;
}

bool WriteText(const QString& path, const std::string& text, std::string* why) {
  QString reason;
  if (files::WriteFileAtomically(path, QByteArray::fromStdString(text), &reason)) return true;
  *why = QDir::toNativeSeparators(path).toStdString() + ": cannot be written: " + reason.toStdString() +
         "; the old file is kept";
  return false;
}

// With a robot profile the runs go through it, and the search keeps every
// swing within the profile's limits instead of letting them be clipped: the
// command line and the panel alike.
void KeepWithinProfile(sim::SearchOptions* options, sim::SearchStart* start) {
  if (!options->run.profile) return;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    options->limits[static_cast<std::size_t>(n)].lowestAngle = options->run.profile->module(n).min;
    options->limits[static_cast<std::size_t>(n)].highestAngle = options->run.profile->module(n).max;
  }
  // The start itself too: a start that swings past them would otherwise be
  // kept as the best and written out as it is.
  start->table = sim::WaveTable(*start, sim::StartParameters(*start), options->limits);
}

// The robot as it names itself, without loading it: a built-in robot by its
// name, a model file by the file's name.
std::string RobotName(const std::string& robot) {
  const std::vector<std::string> builtIn = sim::Robot::BuiltInNames();
  if (std::find(builtIn.begin(), builtIn.end(), robot) != builtIn.end()) return robot;
  return QFileInfo(QString::fromStdString(robot)).fileName().toStdString();
}

}  // namespace

int RunSearch(const SearchRequest& request, std::FILE* out, std::FILE* err) {
  const auto report = [&](const std::string& why, int status) {
    std::fprintf(err, "%s: %s\n", kAppName, why.c_str());
    std::fflush(err);
    return status;
  };

  const sim::SearchGoal goal = request.goal;
  files::Gait start;
  QString readError;
  if (!files::ReadGaitFile(request.startFile, &start, &readError)) return report(readError.toStdString(), kUsageExitCode);
  std::string why;
  if (!CheckWritable(request.output, "output", &why)) return report(why, kUsageExitCode);
  if (!request.report.isEmpty()) {
    if (!CheckWritable(request.report, "report", &why)) return report(why, kUsageExitCode);
    if (QFileInfo(request.report).absoluteFilePath() == QFileInfo(request.output).absoluteFilePath())
      return report("--report and --output name the same file", kUsageExitCode);
  }

  sim::SearchStart searchStart;
  searchStart.table = files::GaitTable(start);
  searchStart.intervalMs = start.intervalMs;
  sim::SearchOptions options;
  options.goal = goal;
  options.run = request.run;
  options.evaluations = request.evaluations;
  options.jobs = request.jobs;
  options.minPositions = request.minPositions;
  options.floorScore = request.floorScore;
  if (!request.floorsFile.isEmpty()) {
    std::vector<files::FloorGrip> floors;
    QString floorsError;
    if (!files::ReadFloorsFile(request.floorsFile, &floors, &floorsError))
      return report(floorsError.toStdString(), kUsageExitCode);
    for (const files::FloorGrip& f : floors) options.floors.push_back({f.along, f.across});
  }
  KeepWithinProfile(&options, &searchStart);

  std::string error;
  std::unique_ptr<sim::Robot> probe = sim::Robot::Load(options.run.robot, &error);
  if (!probe) return report(error, kUsageExitCode);
  sim::SearchSetting setting{goal, probe->name(), request.run.idealLine, request.run.seconds,
                             request.run.profile ? request.run.profile->name : std::string()};
  setting.minPositions = options.minPositions;
  setting.floor = options.run.floor;
  setting.floors = options.floors;
  setting.floorScore = options.floorScore;
  probe.reset();

  auto lastLine = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  const auto progress = [&](const sim::SearchProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (p.done < p.total && now - lastLine < std::chrono::duration<double>(kProgressEverySeconds)) return;
    lastLine = now;
    std::string line = std::string(kAppName) + ": search: " + std::to_string(p.done) + " of " +
                       std::to_string(p.total) + " evaluations, best " +
                       (p.haveBest ? sim::ScoreText(goal, p.bestScore) : std::string("none yet"));
    line += p.done < p.total ? ", about " + Duration(p.secondsLeft) + " left" : ", in " + Duration(p.elapsedSeconds);
    std::fprintf(err, "%s\n", line.c_str());
    std::fflush(err);
  };

  std::optional<sim::SearchResult> result;
  int signalNumber = 0;
  {
    // Ctrl+C, a closed terminal or a kill ends the search between
    // evaluations instead of the process, so that the best gait so far is kept.
    const SignalCatcher stopOnSignals;
    result = sim::SearchGait(searchStart, options, &stopOnSignals.caught(), progress, &error);
    signalNumber = stopOnSignals.signalNumber();
  }
  if (!result) return report(error, kUsageExitCode);
  const int status = signalNumber != 0 ? kInterruptedExitCode : 0;
  if (signalNumber != 0)
    std::fprintf(err, "%s: search stopped by a signal after %d of %d evaluations\n", kAppName, result->evaluations,
                 result->requested);

  if (!result->haveBest) {
    if (!WriteChecked(out, sim::SearchResultJson(*result, setting, request.output.toStdString()), "standard output",
                      &why))
      report(why, kFailureExitCode);
    if (result->evaluations == 0) return report("no evaluation was finished: nothing written", status ? status : 1);
    if (result->rejected > 0)
      return report("no gait tried gave every servo that swings " + FixedText(options.minPositions, 1) +
                        " positions a gait period on the " + setting.LineName() + " line (" +
                        std::to_string(result->rejected) + " of " + std::to_string(result->evaluations) +
                        " gave fewer; the others failed in the physics): nothing written. A longer interval gives "
                        "more positions; --min-positions 0 drops the rule",
                    status ? status : kFailureExitCode);
    return report("every run of the search failed in the physics: nothing written", status ? status : kFailureExitCode);
  }

  const files::Gait found = FoundGait(start, QFileInfo(request.startFile).fileName(), *result, setting);
  QString writeError;
  if (!files::WriteGaitFile(request.output, found, &writeError))
    return report(writeError.toStdString(), status ? status : kFailureExitCode);
  if (!request.report.isEmpty()) {
    sim::SearchReportText text;
    text.title = "Gait search: " + std::string(sim::GoalName(goal)) + " on " + setting.Where();
    text.subtitle = "Best " + sim::ScoreText(goal, result->bestScore) +
                    (result->haveStart ? " against the start's " + sim::ScoreText(goal, result->startScore) : std::string()) +
                    " after " + std::to_string(result->evaluations) + " evaluations from " +
                    QFileInfo(request.startFile).fileName().toStdString() + ".";
    const auto brief = [](const sim::WaveParameters& w) {
      return std::to_string(w.amplitude) + ", " + FixedText(w.phaseStep, 1) + ", " + std::to_string(w.centreOffset) + ", " +
             std::to_string(w.intervalMs) + " ms";
    };
    text.detail = "Amplitude, phase step, centre offset (degrees), interval: best " + brief(result->best) +
                  "; start " + brief(result->startParameters) + ".";
    if (!WriteText(request.report, sim::SearchReportSvg(*result, text), &why))
      return report(why, status ? status : kFailureExitCode);
  }
  if (!WriteChecked(out, sim::SearchResultJson(*result, setting, request.output.toStdString()), "standard output",
                    &why))
    return report(why, status ? status : kFailureExitCode);
  return status;
}

GaitSearch MakePanelSearch(std::function<std::string()> robot, double seconds) {
  GaitSearch search;
  sim::HeadlessOptions run;
  run.seconds = seconds;
  search.robot = std::move(robot);
  search.describe = [run](const std::string& chosen) {
    return QString::fromStdString(
        sim::SearchSetting{sim::SearchGoal::Forward, RobotName(chosen), run.idealLine, run.seconds, {}}.Where());
  };
  search.setting = search.describe(run.robot);
  for (const sim::SearchGoal goal : sim::kSearchGoals)
    search.goals.push_back({QString::fromLatin1(sim::GoalName(goal)), QString::fromLatin1(sim::GoalTitle(goal))});
  search.scoreText = [](const QString& name, double score) {
    const auto goal = sim::GoalFromName(name.toStdString());
    return goal ? QString::fromStdString(sim::ScoreText(*goal, score)) : QString::number(score);
  };
  search.run = [run](const GaitSearchRequest& request, const std::function<void(const GaitSearchProgress&)>& progress,
                     const std::atomic<bool>& cancel) {
    GaitSearchOutcome outcome;
    const auto goal = sim::GoalFromName(request.goal.toStdString());
    if (!goal) {
      outcome.error = QStringLiteral("No such goal: %1").arg(request.goal);
      return outcome;
    }
    sim::SearchStart start;
    start.table = files::GaitTable(request.start);
    start.intervalMs = request.start.intervalMs;
    sim::SearchOptions options;
    options.goal = *goal;
    options.run = run;
    if (!request.robot.empty()) options.run.robot = request.robot;
    options.run.profile = request.profile;
    options.evaluations = request.evaluations;
    KeepWithinProfile(&options, &start);
    options.minPositions = request.minPositions;
    std::string error;
    const auto result = sim::SearchGait(
        start, options, &cancel,
        [&progress](const sim::SearchProgress& p) {
          progress({p.done, p.total, p.haveBest, p.bestScore, p.secondsLeft});
        },
        &error);
    if (!result) {
      outcome.error = QStringLiteral("The search cannot run: %1.").arg(QString::fromStdString(error));
      return outcome;
    }
    outcome.evaluations = result->evaluations;
    outcome.requested = result->requested;
    outcome.haveStart = result->haveStart;
    outcome.startScore = result->startScore;
    outcome.haveBest = result->haveBest;
    outcome.bestScore = result->bestScore;
    if (result->haveBest) {
      sim::SearchSetting setting{*goal, RobotName(options.run.robot), run.idealLine, run.seconds,
                                 request.profile ? request.profile->name : std::string()};
      setting.minPositions = options.minPositions;
      outcome.best = FoundGait(request.start, QStringLiteral("the panel's gait"), *result, setting);
    } else if (result->rejected > 0) {
      outcome.error = QStringLiteral("No gait tried gave every servo that swings %1 positions a gait period on the "
                                     "line. A longer interval gives more; 0 drops the rule.")
                          .arg(request.minPositions);
    }
    return outcome;
  };
  return search;
}

}  // namespace gp
