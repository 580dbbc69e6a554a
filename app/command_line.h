#pragma once
// The program's command line: --port DEVICE, --simulator, --simulate GAITFILE
// with --robot, --seconds, --line and --summary, --search START.json with those and
// --goal, --evaluations, --jobs, --output and --report, --gait FILE, --record FILE, --replay
// FILE [--speed X], --list-ports, --help and --version. Read before any window
// system is touched, so that help, version, headless runs and a mistyped
// option need no display.

#include <QString>
#include <QStringList>

#include "app/search.h"
#include "app/simulate.h"

namespace gp {

struct CommandLine {
  enum class Action { Run, ShowHelp, ShowVersion, Simulate, Search, Replay, ListPorts, Fail };

  Action action = Action::Run;
  // What to print for ShowHelp, ShowVersion (to standard output) and Fail
  // (to standard error), with its final line feed.
  QString text;

  QString port;             // the device standing in for port 1
  bool portChosen = false;  // given with --port rather than the default

  // A virtual servo controller on a pseudo-terminal stands in for the robot.
  bool simulator = false;

  // --simulate: a gait file on the virtual robot, headless. The robot also
  // stands behind the virtual controller with --simulator.
  SimulateRequest simulate;
  // --search: the gait search, headless, on the same robot, line and seconds.
  SearchRequest search;

  QString gaitFile;    // a gait to open in the panel at start
  bool setup = false;   // --setup: the robot set-up window at start
  bool drive = false;  // the panel starts driving (steered by the keys)
  QString profileFile;  // a robot profile for the panel, --simulate or --search
  QString recordFile;  // record every command sent, from the start
  QString replayFile;  // Action::Replay: the recording to play back
  double speed = 1.0;  // Action::Replay: recorded times are divided by it
};

// The program's arguments as text. A device or file name is bytes, which need
// not be valid in the system's encoding: such a name (alone or after "=") is
// taken by the device or file it leads to, where that one can be spelled.
QStringList ArgumentsFromBytes(int argc, const char* const argv[]);

// Reads the arguments, the program's path first. The toolkit's own options
// (-platform, -style, -display and the like) are let through for the
// application object to take.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& defaultPort);

}  // namespace gp
