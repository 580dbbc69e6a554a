#pragma once
// --replay: plays a recording of the line back through the serial link, at
// the recorded times, without any window.

#include <QString>

namespace gp {

struct ReplayOptions {
  QString file;
  QString port;            // the serial device; empty with simulator
  bool simulator = false;  // play into a virtual servo controller instead
  double speed = 1.0;      // recorded times are divided by this
};

// Exit status (app/exit_status.h): success when every command is on the
// line, usage when the recording cannot be read (nothing is sent then),
// failure when the port fails, interrupted when stopped by Ctrl+C, SIGTERM or
// SIGHUP (then "SF" follows the last whole command). Creates its own
// application object.
int RunReplay(const ReplayOptions& options, int argc, char* argv[]);

}  // namespace gp
