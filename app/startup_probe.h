#pragma once
// Start-up timing for the benchmark. With GAITPANEL_STARTUP_PROBE set in the
// environment the program notes when the welcome window is first painted,
// then presses "Enter" itself, notes when the panel is first painted, prints
// one line of figures to standard output and quits:
//   startup main_ns=.. welcome_ns=.. enter_ns=.. panel_ns=.. rss_kb=.. hwm_kb=.. status=<status line>
// Times are CLOCK_MONOTONIC nanoseconds, comparable across processes; the
// status line is the panel's, as it reads when the figures are taken.
// Without the variable nothing of this runs.

#include <cstdint>

class QWidget;

namespace gp {

std::int64_t MonotonicNs();

// True when the environment asks for the probe.
bool StartupProbeWanted();

// Installs the probe on the running application; `welcome` is the first
// window. Call after the application object exists, before exec().
void InstallStartupProbe(QWidget* welcome, std::int64_t mainNs);

}  // namespace gp
