// The program's start: read the command line, open the welcome window, which
// hands over to the control panel; the program ends when its last window
// closes.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "core/app_info.h"
#include "app/command_line.h"
#include "app/console.h"
#include "app/display_check.h"
#include "app/exit_status.h"
#include "app/list_ports.h"
#include "app/replay.h"
#include "app/search.h"
#include "app/shutdown_signals.h"
#include "app/simulate.h"
#include "app/startup_probe.h"
#include "files/gait_file.h"
#include "files/robot_profile.h"
#include "link/serial_link.h"
#include "panel/drive_control.h"
#include "panel/form2.h"
#include "panel/gait_control.h"
#include "panel/record_control.h"
#include "panel/robot_control.h"
#include "panel/port_memory.h"
#include "sim/controller_window.h"
#include "sim/robot/robot.h"
#include "sim/robot/robot_view.h"
#include "sim/robot/live_robot.h"
#include "sim/controller/virtual_controller.h"
#include "welcome/form_init.h"

namespace {

using gp::Print;

}  // namespace

int main(int argc, char* argv[]) {
  const std::int64_t mainNs = gp::MonotonicNs();
  const QStringList arguments = gp::ArgumentsFromBytes(argc, argv);
  const gp::CommandLine commandLine = gp::ParseCommandLine(arguments, gp::SerialLink::DefaultPortName());
  switch (commandLine.action) {
    case gp::CommandLine::Action::ShowHelp:
    case gp::CommandLine::Action::ShowVersion:
      Print(stdout, commandLine.text);
      return gp::kSuccessExitCode;
    case gp::CommandLine::Action::ListPorts:
      return gp::RunListPorts(stdout, stderr);
    case gp::CommandLine::Action::Fail:
      Print(stderr, commandLine.text);
      return gp::kUsageExitCode;
    case gp::CommandLine::Action::Replay:
      return gp::RunReplay({commandLine.replayFile, commandLine.simulator ? QString() : commandLine.port,
                            commandLine.simulator, commandLine.speed},
                           argc, argv);
    case gp::CommandLine::Action::Simulate:
    case gp::CommandLine::Action::Search:
    case gp::CommandLine::Action::Run:
      break;
  }
  // A robot profile that cannot be used is refused like a bad option.
  std::optional<gp::RobotProfile> profile;
  if (!commandLine.profileFile.isEmpty()) {
    profile.emplace();
    QString error;
    if (!gp::files::ReadRobotProfile(commandLine.profileFile, &*profile, &error)) {
      Print(stderr, QStringLiteral("%1: %2\n").arg(QString::fromUtf8(gp::kAppName), error));
      return gp::kUsageExitCode;
    }
  }
  if (commandLine.action == gp::CommandLine::Action::Simulate) {
    gp::SimulateRequest request = commandLine.simulate;
    request.gaitFile = gp::files::FindGaitFile(request.gaitFile);
    request.profile = profile;
    return gp::RunSimulate(request, stdout, stderr);
  }
  if (commandLine.action == gp::CommandLine::Action::Search) {
    gp::SearchRequest request = commandLine.search;
    request.startFile = gp::files::FindGaitFile(request.startFile);
    request.run.profile = profile;
    return gp::RunSearch(request, stdout, stderr);
  }
  // A gait or a recording file that cannot be used is refused like a bad
  // option, before any window opens.
  std::optional<gp::files::Gait> gait;
  const QString gaitFile = gp::files::FindGaitFile(commandLine.gaitFile);
  if (!gaitFile.isEmpty()) {
    gait.emplace();
    QString error;
    if (!gp::files::ReadGaitFile(gaitFile, &*gait, &error)) {
      Print(stderr, QStringLiteral("%1: %2\n").arg(QString::fromUtf8(gp::kAppName), error));
      return gp::kUsageExitCode;
    }
  }
  if (!commandLine.recordFile.isEmpty()) {
    QFile probe(commandLine.recordFile);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      Print(stderr, QStringLiteral("%1: cannot record to %2: %3\n")
                        .arg(QString::fromUtf8(gp::kAppName), QDir::toNativeSeparators(commandLine.recordFile),
                             probe.errorString()));
      return gp::kUsageExitCode;
    }
  }

  // Only now that everything the command line names has been checked.
  if (QString why; !gp::DisplayNamed(arguments, &why)) {
    Print(stderr, why);
    return gp::kFailureExitCode;
  }
  std::optional<gp::PlatformGuard> platformGuard(std::in_place);
  QApplication app(argc, argv);
  platformGuard.reset();
  QApplication::setApplicationName(QString::fromUtf8(gp::kAppTitle));
  QApplication::setApplicationVersion(QString::fromUtf8(gp::kAppVersion));
  QGuiApplication::setDesktopFileName(QString::fromUtf8(gp::kAppId));
  QIcon icon;
  for (int size : {48, 64, 128, 256}) icon.addFile(QStringLiteral(":/welcome/gaitpanel-%1.png").arg(size));
  QApplication::setWindowIcon(icon);

  // The panel talks to the serial device named on the command line, or to a
  // virtual controller on a pseudo-terminal, through the very same link.
  // The controller is made first so that it outlives the panel: the link
  // would otherwise see its line hang up. The robot behind it is loaded now
  // and comes alive with the controller's window.
  std::unique_ptr<gp::sim::VirtualController> controller;
  std::unique_ptr<gp::sim::Robot> robotModel;
  std::unique_ptr<gp::sim::LiveRobot> liveRobot;
  gp::PanelOptions options;
  options.port = commandLine.port;
  if (commandLine.simulator) {
    controller = std::make_unique<gp::sim::VirtualController>();
    QString why;
    if (!controller->start(&why)) {
      Print(stderr, QStringLiteral("%1: --simulator is unavailable: %2\n").arg(QString::fromUtf8(gp::kAppName), why));
      return gp::kFailureExitCode;
    }
    options.port = controller->devicePath();
    options.portLabel = QStringLiteral("virtual servo controller");
    options.portReadsEverything = true;
    // A robot model the physics refuses is reported before any window opens.
    std::string refused;
    robotModel = gp::sim::Robot::Load(commandLine.simulate.robot, &refused);
    if (!robotModel) {
      Print(stderr, QStringLiteral("%1: %2\n").arg(QString::fromUtf8(gp::kAppName), QString::fromStdString(refused)));
      return gp::kUsageExitCode;
    }
  } else if (!commandLine.portChosen) {
    // The device the person chose last time, found again by its stable name.
    options.port = gp::PortToOpen(options.port, false, gp::SerialLink::DefaultPortName());
    if (options.port == gp::SerialLink::DefaultPortName()) options.portLabel = QStringLiteral("port 1");
  }

  // The panel is created on the welcome window's hand-over; creating it runs
  // its start-up, which opens the port. The controller's window opens with
  // it, beside it.
  QPointer<QWidget> panel;
  QPointer<QWidget> controllerWindow;
  const auto createPanel = [&]() -> QWidget* {
    if (!panel.isNull()) return panel.data();
    auto* form = new gp::Form2(options);
    panel = form;
    // Once the panel has loaded, as if the operator had done it at once.
    if (!commandLine.recordFile.isEmpty()) form->recordControl().startRecording(commandLine.recordFile);
    if (gait) form->gaitControl().applyGait(*gait, gaitFile);
    if (commandLine.drive) form->driveControl().setDriving(true);
    if (profile) {
      form->robotControl().useProfile(*profile, commandLine.profileFile);
    } else if (const QString last = gp::RememberedProfile(); form->robotControl().openRemembered()) {
      form->tellFor(QStringLiteral("Robot profile %1 reopened").arg(QDir::toNativeSeparators(last)),
                    gp::kBriefMessageMs);
    }
    if (commandLine.setup) form->showRobotSetup();
    // A search runs on the robot the controller's window shows when the
    // search is opened, or, without that window, the one the command line names.
    const std::string robotAtStart = commandLine.simulate.robot;
    form->gaitControl().setSearch(gp::MakePanelSearch([&liveRobot, robotAtStart] {
      return liveRobot ? liveRobot->source().toStdString() : robotAtStart;
    }));
    if (controller) {
      liveRobot = std::make_unique<gp::sim::LiveRobot>(*controller, std::move(robotModel),
                                                       QString::fromStdString(commandLine.simulate.robot));
      auto* window = new gp::sim::ControllerWindow(*controller, *liveRobot);
      controllerWindow = window;
      window->setClipped(form->robotControl().applier() ? form->robotControl().applier()->clipped()
                                                         : std::vector<int>{});
      form->offerShortcutsTo(window);
      QObject::connect(&form->robotControl(), &gp::RobotControl::clippedChanged, window,
                       [window](const std::vector<int>& modules) { window->setClipped(modules); });
      QTimer::singleShot(0, window, [&panel, window] {
        if (!panel.isNull()) window->showBeside(panel.data());
      });
    }
    return panel.data();
  };

  // Ctrl+C, a closed terminal or a logout ends the program as "Exit" does;
  // before the panel exists there is nothing to send.
  gp::ShutdownSignals shutdown;
  QObject::connect(&shutdown, &gp::ShutdownSignals::requested, &app, [&panel] {
    if (auto* form = qobject_cast<gp::Form2*>(panel.data())) {
      form->exitBySignal();
    } else {
      QCoreApplication::exit(gp::kSuccessExitCode);
    }
  });

  QPointer<gp::FormInit> welcome = new gp::FormInit(createPanel);
  if (gp::StartupProbeWanted()) gp::InstallStartupProbe(welcome, mainNs);
  welcome->show();

  const int status = QApplication::exec();
  delete welcome.data();
  delete panel.data();
  delete controllerWindow.data();
  liveRobot.reset();
  controller.reset();
  return status;
}
