#pragma once
// The gait search: the parameters of a travelling wave varied from a start
// gait until the virtual robot goes fastest towards a goal, each candidate
// one headless run. Derivative-free local searches (NLopt) run side by side,
// each a fixed sequence of candidates that depends only on the start, the
// options and the results of its own runs; worker threads, one robot each,
// carry out the runs the searches ask for. However many workers there are and
// however the machine schedules them, the same options find the same gait.
// Plain standard C++.

#include <array>
#include <atomic>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "gait/module_table.h"
#include "search/search_goal.h"
#include "sim/headless_run.h"

namespace gp::sim {

// The four numbers the search varies. Every enabled module's own values
// follow from them and the start: the amplitudes all move by the same amount,
// the phases keep the start's pattern with the step between neighbours
// changed, the centres all move by the offset.
struct WaveParameters {
  int amplitude = 0;        // degrees, of the start's widest-swinging enabled module
  double phaseStep = 0;     // degrees from one module to the next, in tenths
  int centreOffset = 0;     // degrees added to every enabled module's centre
  int intervalMs = 50;      // the gait clock
};

// What a module may do: a swing at most `amplitude` either way, and, where a
// robot's servos are known to stop short, centre and swing within the range.
struct ModuleLimit {
  int amplitude = kAmpLimit;
  double lowestAngle = -std::numeric_limits<double>::infinity();
  double highestAngle = std::numeric_limits<double>::infinity();
};
using ModuleLimits = std::array<ModuleLimit, kLastModule + 1>;  // index 0 unused

struct SearchStart {
  ModuleTable table;  // Amp, Phase, InitAngle and ServoEnabled of modules 1 to 8
  int intervalMs = 50;
};

// The start's own parameters, the phase step read from its first and last
// enabled modules.
WaveParameters StartParameters(const SearchStart& start);
// The gait the parameters stand for, within the limits. A disabled module
// keeps the start's values.
ModuleTable WaveTable(const SearchStart& start, const WaveParameters& wave, const ModuleLimits& limits);

// How a gait run on several floors is scored: by its worst floor, or the
// mean over them.
enum class FloorScore { Worst, Mean };
const char* FloorScoreName(FloorScore score);  // "worst" or "mean"

struct SearchOptions {
  SearchGoal goal = SearchGoal::Forward;
  HeadlessOptions run;    // robot, seconds and line of every evaluation
  int evaluations = 200;  // gaits evaluated in all, the start's included
  int jobs = 0;           // worker threads; 0: one for each core
  ModuleLimits limits{};
  // A gait in which a servo that swings gets fewer positions a gait period
  // on the line than this is never the best, however it scores: its score
  // would come from the line's sampling, not from the wave. 0: no such rule.
  double minPositions = kFewestPositionsPerPeriod;
  // Each gait is run once on each of these floors (run.floor is then not
  // used) and scored by `floorScore`; none: once, on run.floor.
  std::vector<Floor> floors;
  FloorScore floorScore = FloorScore::Worst;
};

struct SearchProgress {
  int done = 0;
  int total = 0;
  bool haveBest = false;
  double bestScore = 0;
  double elapsedSeconds = 0;
  double secondsLeft = 0;  // at the rate so far
};

struct SearchEvaluation {
  double score = 0;
  bool failed = false;    // the physics gave up: counted as no good at all
  bool rejected = false;  // too few positions reached a swinging servo
};

struct SearchResult {
  SearchGoal goal = SearchGoal::Forward;
  int requested = 0;
  int evaluations = 0;       // headless runs done
  int failed = 0;            // of them, runs the physics gave up on
  int rejected = 0;          // of them, gaits the line could not carry (SearchOptions::minPositions)
  bool interrupted = false;  // stopped before the budget was spent

  WaveParameters startParameters;
  bool haveStart = false;  // the start was run and the physics kept up
  double startScore = 0;
  HeadlessResult startRun;

  bool haveBest = false;
  double bestScore = 0;
  WaveParameters best;
  ModuleTable bestTable;
  int bestIntervalMs = 0;
  HeadlessResult bestRun;  // on the first floor
  // The fewest positions a gait period any swinging servo of the best gait
  // received; nothing when none swings.
  std::optional<double> bestFewestPositions;

  // Every evaluation done, in the search's own order (the start first), so
  // that the best score against evaluations is the same picture every time.
  std::vector<SearchEvaluation> history;
};

// Runs the search. `stop`, when set, ends it between evaluations: runs under
// way finish, no new one starts. `progress` is called after every
// evaluation, from a worker thread, one call at a time. Nothing, with
// *error, when the robot cannot be loaded or the options cannot be used.
std::optional<SearchResult> SearchGait(const SearchStart& start, const SearchOptions& options,
                                       const std::atomic<bool>* stop,
                                       const std::function<void(const SearchProgress&)>& progress,
                                       std::string* error);

}  // namespace gp::sim
