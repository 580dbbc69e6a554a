// How fast the virtual robot runs. Headless: simulated seconds of gait per
// second of wall-clock time, for each built-in robot and each line. The live
// figures (the process's share of a core with the window shown, and the
// physics' part of it) come from bench_sim, which runs that very case.
// Beside each robot, the same model stepped by the physics alone (the
// servos set straight from a sine every step, no line, no decoder, no
// servo model): headless over alone is what the pipeline costs, and should
// stay at least 0.8.
//   bench_robot [simulated seconds, default 20]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cmath>
#include <string>

#include "core/conversions.h"
#include "sim/headless_run.h"
#include "sim/robot/robot.h"

namespace {

// Simulated seconds per CPU second of the model stepped on its own.
double PhysicsAlone(const char* name, double seconds) {
  std::string error;
  auto robot = gp::sim::Robot::Load(name, &error);
  if (!robot) return 0;
  const std::clock_t cpuStart = std::clock();
  const auto steps = static_cast<long>(std::lround(seconds / robot->timestep()));
  for (long k = 0; k < steps; ++k) {
    const double t = robot->time();
    for (int n = 1; n <= gp::sim::kRobotModules; ++n)
      robot->SetServo(n, 0.5236 * std::sin(2 * gp::kPi * t - 0.7854 * (n - 1)));
    robot->Step();
  }
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return cpu > 0 ? robot->time() / cpu : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  gp::ModuleTable table;
  for (int n = gp::kFirstModule; n <= gp::kLastModule; ++n) {
    table.Amp[n] = 30;
    table.Phase[n] = -45.0 * (n - 1);
    table.ServoEnabled[n] = gp::kTrue;
  }
  std::printf("headless: %.0f simulated seconds of eight modules moving, 50 ms tick\n", seconds);
  for (const char* robot : {"snake", "caterpillar", "pitch-yaw"}) {
    const double alone = PhysicsAlone(robot, seconds);
    for (bool ideal : {false, true}) {
      gp::sim::HeadlessOptions options;
      options.robot = robot;
      options.seconds = seconds;
      options.idealLine = ideal;
      std::string error;
      const auto start = std::chrono::steady_clock::now();
      const std::clock_t cpuStart = std::clock();
      const auto result = gp::sim::RunHeadless(table, 50, options, &error);
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // On a shared machine the wall clock counts other processes' turns too.
      const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
      if (!result) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
      std::printf("  %-12s line %-5s %7.1f simulated s per wall s (target at least 20), %7.1f per CPU s; "
                  "physics alone %7.1f per CPU s, ratio %.2f (target at least 0.8)\n",
                  robot, ideal ? "ideal" : "9600", result->seconds / wall, result->seconds / cpu, alone,
                  alone > 0 ? result->seconds / cpu / alone : 0.0);
    }
  }
  return 0;
}
