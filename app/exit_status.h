#pragma once
// The program's exit statuses, one meaning each, as its manual page lists
// them.

namespace gp {

// Ended by "Exit", by its window being closed or by a signal; or a headless
// run completed.
constexpr int kSuccessExitCode = 0;
// Could not start or finish its work: no display, no virtual controller, a
// simulated run that failed, a replay's device that failed.
constexpr int kFailureExitCode = 1;
// The command line cannot be used, or a file or robot model it names.
constexpr int kUsageExitCode = 2;
// A replay stopped by Ctrl+C, SIGTERM or SIGHUP between two commands, or a
// search between two evaluations.
constexpr int kInterruptedExitCode = 130;

}  // namespace gp
