#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

#include "core/app_info.h"
#include "files/floors_file.h"
#include "gait/robot_profile.h"
#include "link/port_problem.h"
#include "search/search_goal.h"
#include "sim/robot/robot.h"

namespace gp {
namespace {

constexpr double kMaxReplaySpeed = 1000.0;

// The toolkit's own options, which its application object reads.
void AddToolkitOptions(QCommandLineParser& parser) {
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "name",
                           "geometry", "style", "stylesheet"}) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// "snake, caterpillar or pitch-yaw", from the robots the program has.
QString BuiltInRobots() {
  const std::vector<std::string> names = sim::Robot::BuiltInNames();
  QString list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
    list += QString::fromStdString(names[i]);
  }
  return list;
}

// A robot is one of the built-in names or a model file; anything else would
// reach the physics library as a file name and come back as its own
// file-not-found text.
bool IsRobotChoice(const QString& robot) {
  for (const std::string& name : sim::Robot::BuiltInNames())
    if (robot == QString::fromStdString(name)) return true;
  return QFileInfo(robot).isFile();
}

}  // namespace

QStringList ArgumentsFromBytes(int argc, const char* const argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    const QByteArray argument(argv[i]);
    const qsizetype equals = argument.startsWith('-') ? argument.indexOf('=') : -1;
    if (equals > 0) {
      arguments << QString::fromLocal8Bit(argument.left(equals + 1)) + PortNameFromBytes(argument.mid(equals + 1));
    } else {
      arguments << PortNameFromBytes(argument);
    }
  }
  return arguments;
}

CommandLine ParseCommandLine(const QStringList& arguments, const QString& defaultPort) {
  CommandLine result;
  const QString executable = arguments.isEmpty() ? QString::fromUtf8(kAppName)
                                                 : arguments.constFirst().section(QLatin1Char('/'), -1);

  QCommandLineParser parser;
  // "-platform xcb" is one option, as the toolkit reads it, not six letters.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Control panel for a modular snake or caterpillar robot on a serial servo controller."));
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption versionOption = parser.addVersionOption();
  const QCommandLineOption portOption(
      QStringLiteral("port"),
      QStringLiteral("Serial device of the servo controller (default: the device chosen last time, "
                     "otherwise %1, port 1).")
          .arg(defaultPort),
      QStringLiteral("DEVICE"), defaultPort);
  parser.addOption(portOption);

  const QCommandLineOption simulatorOption(
      QStringLiteral("simulator"),
      QStringLiteral("Drive a virtual servo controller, shown in a window of its own, instead of a serial device."));
  parser.addOption(simulatorOption);

  const sim::HeadlessOptions defaults;
  const QCommandLineOption simulateOption(
      QStringLiteral("simulate"),
      QStringLiteral("Run the gait file on the virtual robot without windows and print the result as JSON."),
      QStringLiteral("GAITFILE"));
  const QCommandLineOption robotOption(
      QStringLiteral("robot"),
      QStringLiteral("The virtual robot: snake (default), caterpillar, pitch-yaw or a MuJoCo model file."),
      QStringLiteral("snake|caterpillar|pitch-yaw|FILE.xml"), QString::fromStdString(defaults.robot));
  const QCommandLineOption secondsOption(
      QStringLiteral("seconds"), QStringLiteral("Seconds of gait to simulate (default %1).").arg(defaults.seconds),
      QStringLiteral("N"), QString::number(defaults.seconds));
  const QCommandLineOption lineOption(
      QStringLiteral("line"),
      QStringLiteral("The simulated line: 9600 paces commands as the 9600-baud line does (default); with ideal "
                     "every command arrives at once."),
      QStringLiteral("9600|ideal"), QStringLiteral("9600"));
  const QCommandLineOption summaryOption(
      QStringLiteral("summary"),
      QStringLiteral("With --simulate: also print a short table for people (speed, body lengths a period, heading "
                     "change, positions and steps a period per channel) on standard error; the JSON on standard "
                     "output stays as it is."));
  const QCommandLineOption driveScriptOption(
      QStringLiteral("drive-script"),
      QStringLiteral("With --simulate: steer the gait on the simulated clock by this JSON list of [t, speed, turn, "
                     "amplitude] rows, each holding from t seconds until the next (speed and turn -1 to 1, +1 full "
                     "forward and full left; amplitude 0, half the gait's, to 1, its own)."),
      QStringLiteral("FILE"));
  const QCommandLineOption softStartOption(
      QStringLiteral("soft-start"),
      QStringLiteral("With --simulate or --search: seconds over which every swing grows from nothing after the "
                     "start, as a robot profile's soft_start_s does (default: the --profile's, else one gait period; "
                     "0: none, the bytes of a panel without a profile)."),
      QStringLiteral("S"));
  const QCommandLineOption floorOption(
      QStringLiteral("floor"),
      QStringLiteral("With --simulate or --search: the floor's friction along the robot's runners and across them "
                     "instead of the model's own, e.g. 0.1,1.5."),
      QStringLiteral("ALONG,ACROSS"));
  parser.addOptions({simulateOption, robotOption, secondsOption, lineOption, summaryOption, softStartOption, floorOption,
                     driveScriptOption});
  const QCommandLineOption driveOption(
      QStringLiteral("drive"),
      QStringLiteral("Start the panel driving: the arrow keys (or W, A, S, D) steer the gait."));
  parser.addOption(driveOption);
  const QCommandLineOption searchOption(
      QStringLiteral("search"),
      QStringLiteral("Search for the gait that best reaches --goal on the virtual robot, starting from this gait "
                     "file, and write it to --output; without windows. Takes --robot, --line and --seconds (of each "
                     "evaluation) as --simulate does."),
      QStringLiteral("START.json"));
  const QCommandLineOption goalOption(QStringLiteral("goal"),
                                      QStringLiteral("With --search: what the gait should do."),
                                      QString::fromStdString(sim::GoalNameChoice()));
  const QCommandLineOption evaluationsOption(
      QStringLiteral("evaluations"), QStringLiteral("With --search: headless runs to spend (default 200)."),
      QStringLiteral("N"));
  const QCommandLineOption jobsOption(
      QStringLiteral("jobs"),
      QStringLiteral("With --search: runs at once, one robot each (default: one for each core). The gait found "
                     "does not depend on it."),
      QStringLiteral("J"));
  const QCommandLineOption outputOption(QStringLiteral("output"),
                                        QStringLiteral("With --search: the gait file to write the best gait to."),
                                        QStringLiteral("BEST.json"));
  const QCommandLineOption reportOption(
      QStringLiteral("report"),
      QStringLiteral("With --search: also draw the best score against evaluations and the best gait's path beside "
                     "the start's, as SVG."),
      QStringLiteral("REPORT.svg"));
  const QCommandLineOption minPositionsOption(
      QStringLiteral("min-positions"),
      QStringLiteral("With --search: propose only gaits in which every servo that swings gets at least N positions a "
                     "gait period on the line searched on (default 8; 0: no such rule)."),
      QStringLiteral("N"));
  const QCommandLineOption floorsOption(
      QStringLiteral("floors"),
      QStringLiteral("With --search: score each gait on every floor of this file (a JSON list of frictions along "
                     "and across), by --score."),
      QStringLiteral("FILE"));
  const QCommandLineOption scoreOption(
      QStringLiteral("score"),
      QStringLiteral("With --floors: a gait's score is its worst floor's (default) or the mean over the floors."),
      QStringLiteral("worst|mean"));
  parser.addOptions({searchOption, goalOption, evaluationsOption, jobsOption, outputOption, reportOption,
                     minPositionsOption, floorsOption, scoreOption});
  const QCommandLineOption listPortsOption(
      QStringLiteral("list-ports"),
      QStringLiteral("List the serial devices, one a line: stable name (or path), path, description, manufacturer, "
                     "USB vendor:product and serial number, separated by tabs; then exit."));
  parser.addOption(listPortsOption);

  const QCommandLineOption gaitOption(
      QStringLiteral("gait"),
      QStringLiteral("Open this gait file in the panel at start; a preset may be named by its file's name alone "
                     "(lateral-undulation)."),
      QStringLiteral("FILE"));
  parser.addOption(gaitOption);
  const QCommandLineOption profileOption(
      QStringLiteral("profile"),
      QStringLiteral("Send the gait through this robot profile (each servo's limits, trim, direction and speed) "
                     "in the panel, --simulate or --search."),
      QStringLiteral("FILE"));
  parser.addOption(profileOption);
  const QCommandLineOption recordOption(
      QStringLiteral("record"), QStringLiteral("Record every command as it goes to the port to this file."),
      QStringLiteral("FILE"));
  parser.addOption(recordOption);
  const QCommandLineOption setupOption(
      QStringLiteral("setup"),
      QStringLiteral("Open \"Set up the robot...\" at start: jog each servo to find its centre, limits and "
                     "direction, and write a robot profile."));
  parser.addOption(setupOption);
  const QCommandLineOption replayOption(
      QStringLiteral("replay"),
      QStringLiteral("Play a recording back at its recorded times, without a window, to --port DEVICE or "
                     "(by default) to a virtual servo controller; then exit."),
      QStringLiteral("FILE"));
  parser.addOption(replayOption);
  const QCommandLineOption speedOption(
      QStringLiteral("speed"), QStringLiteral("With --replay: play X times as fast (default 1)."), QStringLiteral("X"));
  parser.addOption(speedOption);

  AddToolkitOptions(parser);

  const auto fail = [&](const QString& why) {
    result.action = CommandLine::Action::Fail;
    result.text = QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(executable, why);
    return result;
  };

  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
    result.action = CommandLine::Action::ShowHelp;
    result.text = parser.helpText();
    // Without an application object the parser cannot know the program's name.
    result.text.replace(QStringLiteral("<executable_name>"), executable);
    return result;
  }
  if (parser.isSet(versionOption)) {
    result.action = CommandLine::Action::ShowVersion;
    result.text = QStringLiteral("%1 %2\n").arg(QString::fromUtf8(kAppTitle), QString::fromUtf8(kAppVersion));
    return result;
  }
  if (parser.isSet(listPortsOption)) {
    result.action = CommandLine::Action::ListPorts;
    return result;
  }
  if (!parser.positionalArguments().isEmpty())
    return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));

  for (const QCommandLineOption* once : {&portOption, &simulateOption, &robotOption, &secondsOption, &lineOption,
                                         &gaitOption, &recordOption, &replayOption, &speedOption, &searchOption,
                                         &goalOption, &evaluationsOption, &jobsOption, &outputOption,
                                         &reportOption, &profileOption, &softStartOption, &floorOption,
                                         &minPositionsOption, &floorsOption, &scoreOption, &driveScriptOption}) {
    if (parser.values(*once).size() > 1)
      return fail(QStringLiteral("--%1 given more than once.").arg(once->names().constFirst()));
  }
  if (parser.isSet(simulateOption)) {
    for (const QCommandLineOption* option : {&gaitOption, &recordOption, &replayOption, &speedOption, &searchOption}) {
      if (parser.isSet(*option))
        return fail(QStringLiteral("--simulate cannot be used with --%1.").arg(option->names().constFirst()));
    }
  }
  if (parser.isSet(summaryOption) && !parser.isSet(simulateOption))
    return fail(QStringLiteral("--summary belongs to --simulate."));
  if (parser.isSet(driveScriptOption) && !parser.isSet(simulateOption))
    return fail(QStringLiteral("--drive-script belongs to --simulate."));
  if (parser.isSet(driveScriptOption) && parser.value(driveScriptOption).isEmpty())
    return fail(QStringLiteral("--drive-script needs a file name."));
  if (parser.isSet(driveOption) && (parser.isSet(simulateOption) || parser.isSet(searchOption) ||
                                    parser.isSet(replayOption) || parser.isSet(listPortsOption)))
    return fail(QStringLiteral("--drive steers the panel; headless runs take --drive-script."));
  result.drive = parser.isSet(driveOption);
  if (!parser.isSet(searchOption)) {
    for (const QCommandLineOption* option : {&goalOption, &evaluationsOption, &jobsOption, &outputOption, &reportOption,
                                             &minPositionsOption, &floorsOption, &scoreOption}) {
      if (parser.isSet(*option))
        return fail(QStringLiteral("--%1 belongs to --search.").arg(option->names().constFirst()));
    }
  }
  result.profileFile = parser.value(profileOption);
  result.setup = parser.isSet(setupOption);
  if (parser.isSet(profileOption) && result.profileFile.isEmpty())
    return fail(QStringLiteral("--profile needs a file name."));
  if (parser.isSet(profileOption) && parser.isSet(replayOption))
    return fail(QStringLiteral("--profile does not apply to --replay: a replay sends what was recorded."));
  result.simulate.robot = parser.value(robotOption).toStdString();
  const QString robotChoices =
      QStringLiteral("choose %1, or give the path of a MuJoCo model file (.xml)").arg(BuiltInRobots());
  if (result.simulate.robot.empty()) return fail(QStringLiteral("--robot needs a robot: %1.").arg(robotChoices));
  if (parser.isSet(robotOption) && !IsRobotChoice(parser.value(robotOption)))
    return fail(QStringLiteral("--robot: there is no robot or model file called '%1'; %2.")
                    .arg(parser.value(robotOption), robotChoices));
  if (parser.isSet(simulateOption) || parser.isSet(searchOption)) {
    const QString mode = parser.isSet(simulateOption) ? QStringLiteral("--simulate") : QStringLiteral("--search");
    if (parser.isSet(simulatorOption) || parser.isSet(portOption))
      return fail(QStringLiteral("%1 runs without a port: it cannot be used with --simulator or --port.").arg(mode));
    if (parser.isSet(searchOption)) {
      for (const QCommandLineOption* option : {&gaitOption, &recordOption, &replayOption, &speedOption}) {
        if (parser.isSet(*option))
          return fail(QStringLiteral("--search cannot be used with --%1.").arg(option->names().constFirst()));
      }
    }
    result.action = CommandLine::Action::Simulate;
    result.simulate.gaitFile = parser.value(simulateOption);
    result.simulate.summary = parser.isSet(summaryOption);
    result.simulate.driveScript = parser.value(driveScriptOption);
    result.simulate.secondsGiven = parser.isSet(secondsOption);
    bool number = false;
    result.simulate.seconds = parser.value(secondsOption).toDouble(&number);
    // Up to a day of simulated time: a mistyped exponent should not keep the machine busy for weeks.
    if (!number || !(result.simulate.seconds > 0) || result.simulate.seconds > 86400)
      return fail(QStringLiteral("--seconds needs a number of seconds above 0 and at most 86400, not '%1'.")
                      .arg(parser.value(secondsOption)));
    const QString line = parser.value(lineOption);
    if (line != QStringLiteral("9600") && line != QStringLiteral("ideal"))
      return fail(QStringLiteral("--line is 9600 or ideal, not '%1'.").arg(line));
    result.simulate.idealLine = line == QStringLiteral("ideal");
    if (parser.isSet(softStartOption)) {
      bool ok = false;
      const double soft = parser.value(softStartOption).toDouble(&ok);
      if (!ok || !(soft >= 0) || soft > kMaxSoftStartS)
        return fail(QStringLiteral("--soft-start needs a number of seconds from 0 to 10, not '%1'.")
                        .arg(parser.value(softStartOption)));
      result.simulate.softStartS = soft;
    }
    if (parser.isSet(floorOption)) {
      const QStringList parts = parser.value(floorOption).split(QLatin1Char(','));
      bool alongOk = false, acrossOk = false;
      const double along = parts.size() == 2 ? parts[0].trimmed().toDouble(&alongOk) : 0;
      const double across = parts.size() == 2 ? parts[1].trimmed().toDouble(&acrossOk) : 0;
      const auto grip = [](bool ok, double v) { return ok && v > 0 && v <= files::kMaxFloorFriction; };
      if (!grip(alongOk, along) || !grip(acrossOk, across))
        return fail(QStringLiteral("--floor needs two frictions, along and across, each above 0 and at most 100, "
                                   "as 0.1,1.5, not '%1'.")
                        .arg(parser.value(floorOption)));
      result.simulate.floor = sim::Floor{along, across};
    }
    if (parser.isSet(searchOption)) {
      result.action = CommandLine::Action::Search;
      SearchRequest& search = result.search;
      search.startFile = parser.value(searchOption);
      search.run = result.simulate;
      if (search.startFile.isEmpty()) return fail(QStringLiteral("--search needs a gait file to start from."));
      const QString goals = QString::fromStdString(sim::GoalNameList());
      if (!parser.isSet(goalOption)) return fail(QStringLiteral("--search needs --goal %1.").arg(goals));
      const auto goal = sim::GoalFromName(parser.value(goalOption).toStdString());
      if (!goal) return fail(QStringLiteral("--goal is %1, not '%2'.").arg(goals, parser.value(goalOption)));
      search.goal = *goal;
      // A whole number with an upper bound: a mistyped count should not keep the machine busy for weeks.
      const auto count = [&](const QCommandLineOption& option, int most, int* value) {
        if (!parser.isSet(option)) return true;
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        return ok && *value >= 1 && *value <= most;
      };
      if (!count(evaluationsOption, 100000, &search.evaluations))
        return fail(QStringLiteral("--evaluations needs a whole number from 1 to 100000, not '%1'.")
                        .arg(parser.value(evaluationsOption)));
      if (!count(jobsOption, 256, &search.jobs))
        return fail(QStringLiteral("--jobs needs a whole number from 1 to 256, not '%1'.").arg(parser.value(jobsOption)));
      search.output = parser.value(outputOption);
      if (search.output.isEmpty()) return fail(QStringLiteral("--search needs --output BEST.json, the file to write."));
      if (parser.isSet(minPositionsOption)) {
        bool ok = false;
        search.minPositions = parser.value(minPositionsOption).toDouble(&ok);
        if (!ok || !(search.minPositions >= 0) || search.minPositions > 1000)
          return fail(QStringLiteral("--min-positions needs a number from 0 to 1000, not '%1'.")
                          .arg(parser.value(minPositionsOption)));
      }
      search.floorsFile = parser.value(floorsOption);
      if (parser.isSet(floorsOption) && search.floorsFile.isEmpty())
        return fail(QStringLiteral("--floors needs a file name."));
      if (parser.isSet(floorsOption) && parser.isSet(floorOption))
        return fail(QStringLiteral("--floor and --floors cannot be used together: put the floor in the file."));
      if (parser.isSet(scoreOption)) {
        if (!parser.isSet(floorsOption)) return fail(QStringLiteral("--score goes with --floors."));
        const QString score = parser.value(scoreOption);
        if (score != QStringLiteral("worst") && score != QStringLiteral("mean"))
          return fail(QStringLiteral("--score is worst or mean, not '%1'.").arg(score));
        search.floorScore = score == QStringLiteral("mean") ? sim::FloorScore::Mean : sim::FloorScore::Worst;
      }
      search.report = parser.value(reportOption);
      if (parser.isSet(reportOption) && search.report.isEmpty())
        return fail(QStringLiteral("--report needs a file name."));
    }
    return result;
  }
  for (const QCommandLineOption* headless : {&secondsOption, &lineOption, &softStartOption, &floorOption}) {
    if (parser.isSet(*headless))
      return fail(QStringLiteral("--%1 belongs to --simulate or --search.").arg(headless->names().constFirst()));
  }
  if (parser.isSet(robotOption) && !parser.isSet(simulatorOption))
    return fail(QStringLiteral("--robot needs --simulate, --search or --simulator."));

  result.portChosen = parser.isSet(portOption);
  result.simulator = parser.isSet(simulatorOption);
  if (result.simulator && result.portChosen)
    return fail(QStringLiteral("--simulator and --port cannot be used together."));
  result.port = parser.value(portOption);
  if (result.port.isEmpty()) return fail(QStringLiteral("--port needs a device name."));

  result.gaitFile = parser.value(gaitOption);
  result.recordFile = parser.value(recordOption);
  result.replayFile = parser.value(replayOption);
  for (const auto& [option, value] : {std::pair{&gaitOption, result.gaitFile},
                                      std::pair{&recordOption, result.recordFile},
                                      std::pair{&replayOption, result.replayFile}}) {
    if (parser.isSet(*option) && value.isEmpty())
      return fail(QStringLiteral("--%1 needs a file name.").arg(option->names().constFirst()));
  }
  if (parser.isSet(speedOption)) {
    if (!parser.isSet(replayOption)) return fail(QStringLiteral("--speed goes with --replay."));
    bool ok = false;
    result.speed = parser.value(speedOption).toDouble(&ok);
    // Far beyond what the line carries already; a mistyped speed should not fire a whole recording at once.
    if (!ok || !(result.speed > 0.0) || result.speed > kMaxReplaySpeed)
      return fail(QStringLiteral("--speed needs a number above 0 and at most 1000, not '%1'.")
                      .arg(parser.value(speedOption)));
  }
  if (parser.isSet(replayOption)) {
    if (parser.isSet(gaitOption) || parser.isSet(recordOption))
      return fail(QStringLiteral("--replay cannot be used with --gait or --record."));
    result.action = CommandLine::Action::Replay;
    // Without a port the recording plays into the virtual controller.
    if (!result.portChosen) result.simulator = true;
  }
  return result;
}

}  // namespace gp
