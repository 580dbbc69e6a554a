#include "app/startup_probe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

#include "app/exit_status.h"

namespace gp {
namespace {

// Resident and peak resident memory in kB, from /proc (0 where there is none).
void ResidentKb(long& rss, long& hwm) {
  rss = hwm = 0;
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) rss = line.mid(6).trimmed().split(' ').value(0).toLong();
    if (line.startsWith("VmHWM:")) hwm = line.mid(6).trimmed().split(' ').value(0).toLong();
  }
}

class Probe : public QObject {
 public:
  Probe(QWidget* welcome, std::int64_t mainNs) : QObject(qApp), welcome_(welcome), mainNs_(mainNs) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (!widget->isWindow()) return false;
    if (widget == welcome_ && welcomeNs_ == 0) {
      welcomeNs_ = -1;
      // Noted once the first frame has been painted and handed on.
      QTimer::singleShot(0, this, [this] {
        welcomeNs_ = MonotonicNs();
        QTimer::singleShot(200, this, [this] { PressEnter(); });
      });
    } else if (widget != welcome_ && enterNs_ != 0 && panelNs_ == 0) {
      panelNs_ = -1;
      QTimer::singleShot(0, this, [this] {
        panelNs_ = MonotonicNs();
        // Let the panel settle before reading its memory.
        QTimer::singleShot(500, this, [this] { Report(); });
      });
    }
    return false;
  }

 private:
  void PressEnter() {
    if (!welcome_) return;
    auto* enter = welcome_->findChild<QPushButton*>(QStringLiteral("Command_Enter"));
    if (enter == nullptr) return;
    enterNs_ = MonotonicNs();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(enter, &press);
  }

  // The panel's status line as it reads now: whether the port is open, then
  // the counters.
  static QString PanelStatus() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      const auto* line = window->findChild<QLabel*>(QStringLiteral("StatusLine"));
      if (!line) continue;
      const auto* port = window->findChild<QAbstractButton*>(QStringLiteral("PortControl"));
      return (port ? port->text() + QStringLiteral("    ") : QString()) + line->text();
    }
    return QStringLiteral("(no status line)");
  }

  void Report() {
    long rss = 0, hwm = 0;
    ResidentKb(rss, hwm);
    std::printf("startup main_ns=%lld welcome_ns=%lld enter_ns=%lld panel_ns=%lld rss_kb=%ld hwm_kb=%ld status=%s\n",
                static_cast<long long>(mainNs_), static_cast<long long>(welcomeNs_),
                static_cast<long long>(enterNs_), static_cast<long long>(panelNs_), rss, hwm,
                PanelStatus().toLocal8Bit().constData());
    std::fflush(stdout);
    QApplication::closeAllWindows();
    QCoreApplication::exit(kSuccessExitCode);
  }

  QPointer<QWidget> welcome_;
  std::int64_t mainNs_;
  std::int64_t welcomeNs_ = 0;
  std::int64_t enterNs_ = 0;
  std::int64_t panelNs_ = 0;
};

}  // namespace

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool StartupProbeWanted() { return qEnvironmentVariableIsSet("GAITPANEL_STARTUP_PROBE"); }

void InstallStartupProbe(QWidget* welcome, std::int64_t mainNs) {
  qApp->installEventFilter(new Probe(welcome, mainNs));
}

}  // namespace gp
