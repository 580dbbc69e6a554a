// The program's start: read the command line, open the welcome window, which
// hands over to the control panel; the program ends when its last window
// closes.

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <cstdio>

#include "app/app_info.h"
#include "app/command_line.h"
#include "app/startup_probe.h"
#include "link/serial_link.h"
#include "panel/form2.h"
#include "welcome/form_init.h"

namespace {

void Print(std::FILE* to, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), to);
  std::fflush(to);
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::int64_t mainNs = gp::MonotonicNs();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const gp::CommandLine commandLine = gp::ParseCommandLine(arguments, gp::SerialLink::DefaultPortName());
  switch (commandLine.action) {
    case gp::CommandLine::Action::ShowHelp:
    case gp::CommandLine::Action::ShowVersion:
      Print(stdout, commandLine.text);
      return 0;
    case gp::CommandLine::Action::Fail:
      Print(stderr, commandLine.text);
      return gp::kUsageExitCode;
    case gp::CommandLine::Action::Run:
      break;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(gp::kAppTitle));
  QApplication::setApplicationVersion(QString::fromUtf8(gp::kAppVersion));
  QGuiApplication::setDesktopFileName(QString::fromUtf8(gp::kAppName));
  QIcon icon;
  for (int size : {48, 64, 128, 256}) icon.addFile(QStringLiteral(":/welcome/gaitpanel-%1.png").arg(size));
  QApplication::setWindowIcon(icon);

  // ------------------------------------------------------------------------
  // Choice of controller. The panel talks to the serial device named here.
  // An option that puts a virtual controller in the device's place is decided
  // at this point, before the panel exists.
  // ------------------------------------------------------------------------
  gp::PanelOptions options;
  options.port = commandLine.port;
  if (!commandLine.portChosen) options.portLabel = QStringLiteral("port 1");

  // The panel is created on the welcome window's hand-over; creating it runs
  // its start-up, which opens the port.
  QPointer<QWidget> panel;
  const auto createPanel = [&]() -> QWidget* {
    if (panel.isNull()) panel = new gp::Form2(options);
    return panel.data();
  };

  QPointer<gp::FormInit> welcome = new gp::FormInit(createPanel);
  if (gp::StartupProbeWanted()) gp::InstallStartupProbe(welcome, mainNs);
  welcome->show();

  const int status = QApplication::exec();
  delete welcome.data();
  delete panel.data();
  return status;
}
