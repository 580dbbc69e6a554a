// The gait search's throughput: evaluations a second with one worker and with
// two, the speed-up, and what an evaluation costs inside the search against
// a bare headless run of the same gait (a fresh robot, one run).
//   bench_search [evaluations] [seconds a run] [robot]
// Defaults: 60 evaluations of 10 s on the snake, lateral undulation to start.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "search/gait_search.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// CPU time of the whole process, every thread: against the wall clock it
// shows how many cores the search kept busy, and whether others took them.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

gp::sim::SearchStart LateralUndulation() {
  gp::sim::SearchStart start;
  for (int n = gp::kFirstModule; n <= gp::kLastModule; ++n) {
    start.table.Amp[n] = 30;
    start.table.Phase[n] = -45.0 * (n - 1);
    start.table.ServoEnabled[n] = gp::kTrue;
  }
  start.intervalMs = 50;
  return start;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int evaluations = argc > 1 ? std::atoi(argv[1]) : 60;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10;
  const std::string robot = argc > 3 ? argv[3] : "snake";
  const gp::sim::SearchStart start = LateralUndulation();
  gp::sim::SearchOptions options;
  options.run.robot = robot;
  options.run.seconds = seconds;
  std::printf("search benchmark: %s, %.0f s a run, %u cores\n", robot.c_str(), seconds,
              std::thread::hardware_concurrency());

  // A bare run, as --simulate makes it: the robot loaded, one run.
  constexpr int kSame = 6;
  std::string error;
  auto t = Clock::now();
  for (int i = 0; i < kSame; ++i) {
    if (!gp::sim::RunHeadless(start.table, start.intervalMs, options.run, &error)) {
      std::fprintf(stderr, "bare run failed: %s\n", error.c_str());
      return 1;
    }
  }
  const double bare = Since(t) / kSame;
  // The same gait as a whole search of one evaluation: workers, robot and all.
  options.evaluations = 1;
  options.jobs = 1;
  t = Clock::now();
  for (int i = 0; i < kSame; ++i) gp::sim::SearchGait(start, options, nullptr, {}, &error);
  const double inSearch = Since(t) / kSame;
  std::printf("bare headless run          %8.3f s\n", bare);
  std::printf("one-evaluation search      %8.3f s  (%.3fx the bare run; at most 1.25x wanted)\n", inSearch,
              inSearch / bare);

  options.evaluations = evaluations;
  double rate[3] = {0, 0, 0};
  for (int jobs = 1; jobs <= 2; ++jobs) {
    options.jobs = jobs;
    t = Clock::now();
    const double cpuBefore = CpuSeconds();
    const auto result = gp::sim::SearchGait(start, options, nullptr, {}, &error);
    const double wall = Since(t);
    const double cpu = CpuSeconds() - cpuBefore;
    if (!result) {
      std::fprintf(stderr, "search failed: %s\n", error.c_str());
      return 1;
    }
    rate[jobs] = result->evaluations / wall;
    std::printf("%d job%s: %d evaluations in %7.2f s = %6.2f evaluations/s (%.3f s each), %.2f cores busy, best %.4f %s\n",
                jobs, jobs == 1 ? " " : "s", result->evaluations, wall, rate[jobs], wall / result->evaluations,
                cpu / wall, result->bestScore, gp::sim::GoalUnit(options.goal));
  }
  std::printf("2 jobs / 1 job             %8.2fx (at least 1.7x wanted on two cores)\n", rate[2] / rate[1]);
  return 0;
}
