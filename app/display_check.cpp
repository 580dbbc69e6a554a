#include "app/display_check.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "app/exit_status.h"
#include "core/app_info.h"

namespace gp {
namespace {

QtMessageHandler& Previous() {
  static QtMessageHandler handler = nullptr;
  return handler;
}

struct Held {
  QtMsgType type;
  QString text;
};

QList<Held>& HeldMessages() {
  static QList<Held> held;
  return held;
}

QString& LastHint() {
  static QString hint;
  return hint;
}

void Guard(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    // "could not connect to display :99" says more than the fatal line.
    if (LastHint().isEmpty() && (text.contains(QLatin1String("display"), Qt::CaseInsensitive) ||
                                 text.contains(QLatin1String("platform plugin"), Qt::CaseInsensitive)))
      LastHint() = text;
    HeldMessages().append({type, text});
    return;
  }
  const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
  QString line = QStringLiteral("%1: cannot open a window: ").arg(QString::fromUtf8(kAppName));
  line += LastHint().isEmpty() ? QStringLiteral("no window system platform could be started")
                               : LastHint().trimmed();
  if (!platform.isEmpty()) line += QStringLiteral(" (QT_QPA_PLATFORM=%1)").arg(platform);
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
  std::_Exit(kFailureExitCode);
}

}  // namespace

bool DisplayNamed(const QStringList& arguments, QString* why) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform") ||
        argument.startsWith(QLatin1String("-platform=")) || argument.startsWith(QLatin1String("--platform=")))
      return true;
  }
  *why = QStringLiteral("%1: cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                        "start it from a desktop session\n")
             .arg(QString::fromUtf8(kAppName));
  return false;
#else
  (void)arguments;
  (void)why;
  return true;
#endif
}

PlatformGuard::PlatformGuard() { Previous() = qInstallMessageHandler(Guard); }

PlatformGuard::~PlatformGuard() {
  qInstallMessageHandler(Previous());
  const QList<Held> held = std::move(HeldMessages());
  HeldMessages().clear();
  for (const Held& message : held) {
    switch (message.type) {
      case QtDebugMsg:
        qDebug("%s", qUtf8Printable(message.text));
        break;
      case QtInfoMsg:
        qInfo("%s", qUtf8Printable(message.text));
        break;
      default:
        qWarning("%s", qUtf8Printable(message.text));
        break;
    }
  }
  LastHint().clear();
}

}  // namespace gp
