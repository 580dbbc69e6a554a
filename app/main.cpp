#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/app_info.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(gp::kAppTitle));
  QApplication::setApplicationVersion(QString::fromUtf8(gp::kAppVersion));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Control panel for a modular snake or caterpillar robot."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.process(app);
  std::puts("Gait Panel: the windows are not built yet.");
  return 0;
}
