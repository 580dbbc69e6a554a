#include "search/gait_search.h"

#include <nlopt.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

namespace gp::sim {
namespace {

constexpr int kDimensions = 4;
// Local searches side by side: the first from the start, the others from
// points spread over the likely part of the space. A fixed number, not one
// per worker, so that the workers never change which gaits are tried.
constexpr int kRuns = 4;
constexpr double kMaxStepDeg = 180;     // a larger step is a smaller one the other way
constexpr int kMaxCentreOffsetDeg = 45;
constexpr double kInitialStep = 0.15;   // of each parameter's range
constexpr double kConverged = 1e-3;     // below the gait's own resolution in every parameter
constexpr double kFailedScore = -1e6;   // what a run the physics gave up on tells the optimiser
// What a gait the line cannot carry tells it: below every real score, and
// better the more positions its servos got, so that the search finds its
// way back to gaits the line carries.
constexpr double kRejectedScore = -1e5;

double Clamp(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

std::vector<int> EnabledModules(const ModuleTable& table) {
  std::vector<int> modules;
  for (int n = kFirstModule; n <= kLastModule; ++n)
    if (IsTrue(table.ServoEnabled[n])) modules.push_back(n);
  return modules;
}

// The phase change from one module to the next, in whole tenths of a degree,
// so that the phases written to the file read back as the same numbers.
double StepChange(double phaseStep, double startStep) { return std::round((phaseStep - startStep) * 10.0) / 10.0; }

// The search moves in the unit cube; these are its axes.
class Space {
 public:
  Space(const SearchStart& start, const ModuleLimits& limits) : startWave_(StartParameters(start)) {
    for (int n : EnabledModules(start.table)) ampHigh_ = std::max(ampHigh_, limits[static_cast<std::size_t>(n)].amplitude);
    ampHigh_ = std::max(ampHigh_, 1);
    stepLow_ = std::min(-kMaxStepDeg, startWave_.phaseStep);
    stepHigh_ = std::max(kMaxStepDeg, startWave_.phaseStep);
  }

  WaveParameters Wave(const double* u) const {
    WaveParameters w;
    w.amplitude = static_cast<int>(std::lround(u[0] * ampHigh_));
    w.phaseStep = startWave_.phaseStep + StepChange(stepLow_ + u[1] * (stepHigh_ - stepLow_), startWave_.phaseStep);
    w.centreOffset = static_cast<int>(std::lround((u[2] * 2 - 1) * kMaxCentreOffsetDeg));
    // The interval on a log scale: 10 ms to 20 ms matters as much as 100 to 200.
    w.intervalMs = static_cast<int>(Clamp(std::round(std::exp(u[3] * std::log(kMaxIntervalMs))), kMinIntervalMs,
                                          kMaxIntervalMs));
    return w;
  }

  std::vector<double> Unit(const WaveParameters& w) const {
    return {Clamp(w.amplitude / static_cast<double>(ampHigh_), 0, 1),
            Clamp((w.phaseStep - stepLow_) / (stepHigh_ - stepLow_), 0, 1),
            Clamp((w.centreOffset / static_cast<double>(kMaxCentreOffsetDeg) + 1) / 2, 0, 1),
            Clamp(std::log(std::max(w.intervalMs, 1)) / std::log(kMaxIntervalMs), 0, 1)};
  }

  // The h-th point (from 1) of a low-discrepancy sequence over the gaits
  // worth starting from: a swing that moves, a middling centre offset, an
  // interval from 10 to 300 ms.
  std::vector<double> Spread(int h) const {
    const auto radicalInverse = [h](int base) {
      double result = 0, scale = 1.0 / base;
      for (int i = h; i > 0; i /= base, scale /= base) result += (i % base) * scale;
      return result;
    };
    const double low = std::min(10.0, static_cast<double>(ampHigh_));
    return {(low + radicalInverse(2) * (ampHigh_ - low)) / ampHigh_, radicalInverse(3),
            0.25 + 0.5 * radicalInverse(5),
            (std::log(10.0) + radicalInverse(7) * (std::log(300.0) - std::log(10.0))) / std::log(kMaxIntervalMs)};
  }

 private:
  WaveParameters startWave_;
  int ampHigh_ = 0;
  double stepLow_ = 0, stepHigh_ = 0;
};

using WaveKey = std::tuple<int, long, int, int>;
WaveKey Key(const WaveParameters& w) {
  return {w.amplitude, std::lround(w.phaseStep * 10.0), w.centreOffset, w.intervalMs};
}

bool SameGait(const ModuleTable& a, const ModuleTable& b) {
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (a.Amp[n] != b.Amp[n] || a.Phase[n] != b.Phase[n] || a.InitAngle[n] != b.InitAngle[n] ||
        a.ServoEnabled[n] != b.ServoEnabled[n])
      return false;
  }
  return true;
}

struct Outcome {
  bool skipped = false;  // the search was stopped before the run began
  std::optional<HeadlessResult> run;  // on the first floor; nothing when any failed
  double score = 0;                   // over the floors
};

// The workers: each holds one robot of its own and carries out one headless
// run at a time, whichever search asked for it.
class Workers {
 public:
  Workers(std::vector<std::unique_ptr<Robot>> robots, const SearchOptions& options, const std::atomic<bool>* stop)
      : options_(options), stop_(stop) {
    for (auto& robot : robots) {
      threads_.emplace_back([this, r = std::make_shared<VirtualRobot>(std::move(robot))] { Work(*r); });
    }
  }

  ~Workers() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
  }

  Outcome Evaluate(const ModuleTable& table, int intervalMs) {
    Job job{table, intervalMs, {}};
    std::future<Outcome> done = job.done.get_future();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(&job);
    }
    wake_.notify_one();
    return done.get();
  }

 private:
  struct Job {
    ModuleTable table;
    int intervalMs;
    std::promise<Outcome> done;
  };

  void Work(VirtualRobot& robot) {
    for (;;) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;
        job = queue_.front();
        queue_.pop_front();
      }
      Outcome outcome;
      try {
        if (stop_ && stop_->load()) {
          outcome.skipped = true;
        } else {
          outcome = Run(*job, robot);
        }
      } catch (...) {
        // Carried to whoever waits for this run, instead of ending the program.
        job->done.set_exception(std::current_exception());
        continue;
      }
      job->done.set_value(std::move(outcome));
    }
  }

  // The gait on each floor in turn, one robot, so that the floors never
  // depend on which worker ran what.
  Outcome Run(const Job& job, VirtualRobot& robot) const {
    Outcome outcome;
    std::string ignored;  // a run the physics gives up on counts as failed; why does not change the search
    if (options_.floors.empty()) {
      outcome.run = RunHeadless(job.table, job.intervalMs, robot, options_.run, &ignored);
      if (outcome.run) outcome.score = GoalScore(options_.goal, *outcome.run);
      return outcome;
    }
    HeadlessOptions run = options_.run;
    double worst = 0, sum = 0;
    for (std::size_t f = 0; f < options_.floors.size(); ++f) {
      run.floor = options_.floors[f];
      std::optional<HeadlessResult> result = RunHeadless(job.table, job.intervalMs, robot, run, &ignored);
      if (!result) {
        outcome.run.reset();
        return outcome;
      }
      const double score = GoalScore(options_.goal, *result);
      worst = f == 0 ? score : std::min(worst, score);
      sum += score;
      if (f == 0) outcome.run = std::move(result);
    }
    outcome.score = options_.floorScore == FloorScore::Worst ? worst : sum / static_cast<double>(options_.floors.size());
    return outcome;
  }

  const SearchOptions& options_;
  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job*> queue_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

class Search {
 public:
  Search(const SearchStart& start, const SearchOptions& options, const std::atomic<bool>* stop,
         const std::function<void(const SearchProgress&)>& progress, Workers& workers, int runs)
      : start_(start), options_(options), stop_(stop), progress_(progress), workers_(workers), space_(start, options.limits),
        runs_(runs), began_(std::chrono::steady_clock::now()) {
    result_.goal = options.goal;
    result_.requested = options.evaluations;
    result_.startParameters = StartParameters(start);
  }

  // The search's result, or nothing with *error when a run or the caller's
  // progress report threw: the searches end, and the message is kept.
  std::optional<SearchResult> Run(std::string* error) {
    try {
      Explore();
    } catch (const std::exception& e) {
      Fail(e.what());
    } catch (...) {
      Fail("an unknown exception");
    }
    if (failed_.load()) {
      if (error) *error = "the search failed: " + failure_;
      return std::nullopt;
    }
    return std::move(result_);
  }

 private:
  void Fail(const std::string& why) {
    const std::lock_guard<std::mutex> lock(failureMutex_);
    if (!failed_.exchange(true)) failure_ = why;
  }

  bool Stopping() const { return failed_.load() || (stop_ && stop_->load()); }

  void Explore() {
    // The start first, alone: every search then knows its score.
    const Outcome first = workers_.Evaluate(start_.table, start_.intervalMs);
    if (!first.skipped) {
      Record(0, start_.table, start_.intervalMs, first, result_.startParameters);
      if (first.run) {
        result_.haveStart = true;
        result_.startScore = first.score;
        result_.startRun = *first.run;
        startObjective_ = Objective(start_.table, first);
      }
      const int rest = options_.evaluations - 1;
      std::vector<std::thread> threads;
      for (int r = 0; r < runs_; ++r) {
        const int budget = rest / runs_ + (r < rest % runs_ ? 1 : 0);
        threads.emplace_back([this, r, budget] {
          // An exception must not leave its thread: it would end the program.
          try {
            LocalSearch(r, budget);
          } catch (const std::exception& e) {
            Fail(e.what());
          } catch (...) {
            Fail("an unknown exception");
          }
        });
      }
      for (auto& t : threads) t.join();
    }
    result_.evaluations = static_cast<int>(history_.size());
    result_.interrupted = result_.evaluations < options_.evaluations;
    for (const auto& entry : history_) result_.history.push_back(entry.second);
  }

  struct RunState {
    int run = 0;
    int budget = 0;
    int used = 0;
    long calls = 0;
    std::map<WaveKey, double> seen;
    Search* search = nullptr;
  };

  static double Objective(unsigned n, const double* u, double* /*gradient*/, void* data) {
    auto& state = *static_cast<RunState*>(data);
    (void)n;
    return state.search->Evaluate(state, u);
  }

  double Evaluate(RunState& state, const double* u) {
    ++state.calls;
    const WaveParameters wave = space_.Wave(u);
    const WaveKey key = Key(wave);
    if (const auto known = state.seen.find(key); known != state.seen.end()) return known->second;
    if (state.used >= state.budget || Stopping()) throw nlopt::forced_stop();
    const ModuleTable table = WaveTable(start_, wave, options_.limits);
    Outcome outcome;
    try {
      outcome = workers_.Evaluate(table, wave.intervalMs);
    } catch (const std::exception& e) {
      Fail(e.what());
      throw nlopt::forced_stop();
    } catch (...) {
      Fail("an unknown exception");
      throw nlopt::forced_stop();
    }
    if (outcome.skipped) throw nlopt::forced_stop();
    // The search's own order: the i-th run of search r is 1 + i*runs + r.
    const int order = 1 + state.used * runs_ + state.run;
    ++state.used;
    try {
      Record(order, table, wave.intervalMs, outcome, wave);
    } catch (const std::exception& e) {
      Fail(e.what());
      throw nlopt::forced_stop();
    } catch (...) {
      Fail("an unknown exception");
      throw nlopt::forced_stop();
    }
    const double score = Objective(table, outcome);
    state.seen.emplace(key, score);
    return score;
  }

  // A gait the line carries too sparsely, or nothing when it is carried.
  std::optional<double> TooFewPositions(const ModuleTable& table, const HeadlessResult& run) const {
    if (!(options_.minPositions > 0)) return std::nullopt;
    const std::optional<double> fewest = FewestSwingingPositions(table, run);
    if (fewest && *fewest < options_.minPositions) return fewest;
    return std::nullopt;
  }

  // What the optimiser is told of an outcome.
  double Objective(const ModuleTable& table, const Outcome& outcome) const {
    if (!outcome.run) return kFailedScore;
    if (const auto fewest = TooFewPositions(table, *outcome.run)) return kRejectedScore + *fewest;
    return outcome.score;
  }

  void LocalSearch(int run, int budget) {
    RunState state;
    state.run = run;
    state.budget = budget;
    state.search = this;
    // The start's score is known already: the first search begins there
    // without running it again.
    const WaveParameters startWave = result_.startParameters;
    if (result_.haveStart && SameGait(WaveTable(start_, startWave, options_.limits), start_.table) &&
        startWave.intervalMs == start_.intervalMs)
      state.seen.emplace(Key(startWave), startObjective_);

    std::vector<double> x = run == 0 ? space_.Unit(startWave) : space_.Spread(run);
    // A search that settles before its budget is spent starts again from a
    // fresh point; gaits it has tried already cost nothing.
    const long maxCalls = 50L * budget + 100;
    for (int pass = 1; state.used < state.budget && state.calls < maxCalls; ++pass) {
      if (Stopping()) break;
      nlopt::opt opt(nlopt::LN_SBPLX, kDimensions);
      opt.set_lower_bounds(0.0);
      opt.set_upper_bounds(1.0);
      opt.set_max_objective(&Search::Objective, &state);
      opt.set_maxeval(state.budget - state.used);
      opt.set_xtol_abs(kConverged);
      opt.set_initial_step(kInitialStep);
      double best = 0;
      try {
        opt.optimize(x, best);
      } catch (const nlopt::forced_stop&) {
        break;
      } catch (const std::exception&) {
        // Round-off or a step the library could not make: a fresh start.
      }
      x = space_.Spread(run + runs_ * pass);
    }
  }

  void Record(int order, const ModuleTable& table, int intervalMs, const Outcome& outcome, const WaveParameters& wave) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::optional<HeadlessResult>& run = outcome.run;
    SearchEvaluation evaluation;
    evaluation.failed = !run;
    evaluation.score = run ? outcome.score : 0;
    evaluation.rejected = run && TooFewPositions(table, *run);
    history_.emplace(order, evaluation);
    if (evaluation.rejected) {
      ++result_.rejected;
    } else if (run) {
      // Best is the highest score; of equal ones, the first in the search's
      // order, so that which worker finished first never matters.
      if (!result_.haveBest || evaluation.score > result_.bestScore ||
          (evaluation.score == result_.bestScore && order < bestOrder_)) {
        result_.haveBest = true;
        result_.bestScore = evaluation.score;
        result_.best = wave;
        result_.bestTable = table;
        result_.bestIntervalMs = intervalMs;
        result_.bestRun = *run;
        result_.bestFewestPositions = FewestSwingingPositions(table, *run);
        bestOrder_ = order;
      }
    } else {
      ++result_.failed;
    }
    if (!progress_) return;
    SearchProgress p;
    p.done = static_cast<int>(history_.size());
    p.total = options_.evaluations;
    p.haveBest = result_.haveBest;
    p.bestScore = result_.bestScore;
    p.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    p.secondsLeft = p.elapsedSeconds / p.done * (p.total - p.done);
    progress_(p);
  }

  const SearchStart& start_;
  const SearchOptions& options_;
  const std::atomic<bool>* stop_;
  const std::function<void(const SearchProgress&)>& progress_;
  Workers& workers_;
  Space space_;
  int runs_;
  std::chrono::steady_clock::time_point began_;

  std::mutex mutex_;
  std::atomic<bool> failed_{false};
  std::mutex failureMutex_;
  std::string failure_;
  std::map<int, SearchEvaluation> history_;
  SearchResult result_;
  int bestOrder_ = 0;
  double startObjective_ = kFailedScore;
};

}  // namespace

const char* FloorScoreName(FloorScore score) { return score == FloorScore::Mean ? "mean" : "worst"; }

WaveParameters StartParameters(const SearchStart& start) {
  WaveParameters w;
  const std::vector<int> enabled = EnabledModules(start.table);
  for (int n : enabled) w.amplitude = std::max<int>(w.amplitude, start.table.Amp[n]);
  if (enabled.size() >= 2) {
    const int first = enabled.front(), last = enabled.back();
    w.phaseStep = (start.table.Phase[last] - start.table.Phase[first]) / (last - first);
  }
  w.centreOffset = 0;
  w.intervalMs = std::clamp(start.intervalMs, kMinIntervalMs, kMaxIntervalMs);
  return w;
}

ModuleTable WaveTable(const SearchStart& start, const WaveParameters& wave, const ModuleLimits& limits) {
  const WaveParameters from = StartParameters(start);
  const int ampChange = wave.amplitude - from.amplitude;
  const double stepChange = StepChange(wave.phaseStep, from.phaseStep);
  ModuleTable table = start.table;
  for (int n : EnabledModules(start.table)) {
    const ModuleLimit& limit = limits[static_cast<std::size_t>(n)];
    double centre = start.table.InitAngle[n] + wave.centreOffset;
    if (std::isfinite(limit.lowestAngle)) centre = std::max(centre, std::ceil(limit.lowestAngle));
    if (std::isfinite(limit.highestAngle)) centre = std::min(centre, std::floor(limit.highestAngle));
    centre = Clamp(centre, -32768, 32767);
    double widest = limit.amplitude;
    if (std::isfinite(limit.lowestAngle)) widest = std::min(widest, std::floor(centre - limit.lowestAngle));
    if (std::isfinite(limit.highestAngle)) widest = std::min(widest, std::floor(limit.highestAngle - centre));
    // A start's negative amplitude (no swing, as a positive one below 10) is
    // kept while the amplitude is not changed.
    const double lowest = std::min<double>(0, start.table.Amp[n]);
    table.Amp[n] = static_cast<std::int16_t>(Clamp(start.table.Amp[n] + ampChange, lowest, std::max(widest, lowest)));
    table.InitAngle[n] = static_cast<std::int16_t>(centre);
    table.Phase[n] = start.table.Phase[n] + (n - kFirstModule) * stepChange;
  }
  return table;
}

std::optional<SearchResult> SearchGait(const SearchStart& start, const SearchOptions& options,
                                       const std::atomic<bool>* stop,
                                       const std::function<void(const SearchProgress&)>& progress,
                                       std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  if (options.evaluations < 1) return fail("the search needs at least one evaluation");
  if (EnabledModules(start.table).empty()) return fail("the start gait enables no module: there is nothing to move");
  if (start.intervalMs < kMinIntervalMs || start.intervalMs > kMaxIntervalMs)
    return fail("the start gait's interval must be " + IntervalRangeText());
  if (!(options.run.seconds > 0) || !std::isfinite(options.run.seconds)) return fail("the runs must last a positive time");
  if (!(options.minPositions >= 0) || !std::isfinite(options.minPositions))
    return fail("the fewest positions a period must be 0 or more");

  const int runs = std::min(kRuns, options.evaluations - 1);
  int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
  jobs = std::clamp(jobs, 1, std::max(runs, 1));
  std::vector<std::unique_ptr<Robot>> robots;
  for (int i = 0; i < jobs; ++i) {
    std::unique_ptr<Robot> robot = Robot::Load(options.run.robot, error);
    if (!robot) return std::nullopt;
    robots.push_back(std::move(robot));
  }
  // A floor the model cannot take is the options' fault, not the physics'.
  for (const Floor& floor : options.floors)
    if (!robots.front()->SetFloor(floor, error)) return std::nullopt;
  if (!robots.front()->SetFloor(options.run.floor, error)) return std::nullopt;
  Workers workers(std::move(robots), options, stop);
  Search search(start, options, stop, progress, workers, runs);
  return search.Run(error);
}

}  // namespace gp::sim
