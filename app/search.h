#pragma once
// --search START.json: the gait search on the virtual robot, headless.
// Progress on standard error, one JSON object on standard output, the best
// gait found written as a gait file and, if asked, a report as SVG. Needs no
// display and no application object.

#include <QString>
#include <cstdio>
#include <functional>
#include <string>

#include "panel/search_dialog.h"
#include "search/search_goal.h"
#include "search/gait_search.h"
#include "sim/headless_run.h"

namespace gp {

struct SearchRequest {
  QString startFile;
  sim::SearchGoal goal = sim::SearchGoal::Forward;
  sim::HeadlessOptions run;  // robot, line and seconds of each evaluation
  int evaluations = 200;
  int jobs = 0;  // worker threads; 0: one for each core
  QString output;  // the best gait, a gait file
  QString report;  // an SVG picture of the search, if not empty
  double minPositions = sim::kFewestPositionsPerPeriod;  // 0: no such rule
  QString floorsFile;  // the floors each gait is scored on, if not empty
  sim::FloorScore floorScore = sim::FloorScore::Worst;
};

// Runs the request. Returns the process's exit status: kUsageExitCode when
// the start, the robot or an output file cannot be used (nothing is written
// then); kFailureExitCode when no evaluation succeeded or a result could not
// be written; kInterruptedExitCode when SIGINT, SIGTERM or SIGHUP ended the
// search early (the best gait so far is written).
int RunSearch(const SearchRequest& request, std::FILE* out, std::FILE* err);

// The search as the panel's dialog runs it: on the robot `robot` names when
// the dialog opens (a built-in robot or a model file), through the panel's
// robot profile, on the 9600 line, `seconds` a run, one worker for each core.
GaitSearch MakePanelSearch(std::function<std::string()> robot, double seconds = 10);

}  // namespace gp
