#include "app/replay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/app_info.h"
#include "app/console.h"
#include "app/exit_status.h"
#include "app/shutdown_signals.h"
#include "files/recording.h"
#include "protocol/protocol.h"
#include "link/serial_link.h"
#include "sim/controller/virtual_controller.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace gp {
namespace {

constexpr int kCatchUpPollMs = 20;
constexpr int kProgressMs = 250;
constexpr int kControllerCatchUpMs = 1000;

bool IsTerminal(std::FILE* stream) {
#ifdef Q_OS_UNIX
  return ::isatty(::fileno(stream)) == 1;
#else
  (void)stream;
  return false;
#endif
}

QString Seconds(qint64 ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); }

class Replay {
 public:
  Replay(const ReplayOptions& options, std::vector<files::RecordedCommand> commands, QString device)
      : options_(options), commands_(std::move(commands)), device_(std::move(device)) {
    sendTimer_.setSingleShot(true);
    sendTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sendTimer_, &QTimer::timeout, [this] { sendDue(); });
    // Ctrl+C, SIGTERM or a closed terminal: the signal arrives as an event,
    // so it always falls between two whole commands.
    QObject::connect(&stopSignals_, &ShutdownSignals::requested, [this] { finish(kInterruptedExitCode); });
    progressTimer_.setInterval(kProgressMs);
    QObject::connect(&progressTimer_, &QTimer::timeout, [this] { showProgress(); });
    // The panel's wording ("carries on without the robot") does not fit here.
    if (options_.simulator) link_.setDeviceThatReadsEverything(device_);
    // Told once as it stalls and once as it drains again, on its own line.
    QObject::connect(&link_, &SerialLink::lineStalled, [this](bool stalled, qint64 ms) {
      Print(stderr, stalled ? QStringLiteral("\n%1: line stalled: %2 is not taking commands\n").arg(QString::fromUtf8(kAppName), device_)
                            : QStringLiteral("\n%1: the line drains again after %2 s\n")
                                  .arg(QString::fromUtf8(kAppName), Seconds(ms)));
    });
    QObject::connect(&link_, &SerialLink::failure, [this] {
      failure_ = link_.statusText() + QStringLiteral("; the replay ends.");
      finish(kFailureExitCode);
    });
  }

  bool open() {
    if (link_.Open(device_)) return true;
    Print(stderr, QStringLiteral("%1: %2; nothing was sent.\n").arg(QString::fromUtf8(kAppName), link_.statusText()));
    return false;
  }

  void begin() {
    clock_.start();
    if (IsTerminal(stderr)) progressTimer_.start();
    sendDue();
  }

  int exitCode() const { return exitCode_; }
  std::uint64_t bytesSent() const { return bytesSent_; }

 private:
  // Where command i falls on the replay's clock, in milliseconds.
  qint64 dueMs(std::size_t i) const {
    const double recorded = static_cast<double>(commands_[i].ms - commands_.front().ms);
    return static_cast<qint64>(recorded / options_.speed);
  }

  void sendDue() {
    if (finished_) return;
    while (next_ < commands_.size() && dueMs(next_) <= clock_.elapsed()) {
      // A position keeps its channel, so that at a higher speed than the line
      // carries only the newest position of a channel waits, as in the panel.
      link_.Write(CommandFromBytes(commands_[next_].bytes.toStdString()));
      ++next_;
    }
    if (next_ == commands_.size()) {
      finish(kSuccessExitCode);
      return;
    }
    sendTimer_.start(static_cast<int>(std::max<qint64>(0, dueMs(next_) - clock_.elapsed())));
  }

  void showProgress() const {
    Print(stderr, QStringLiteral("\rReplaying %1: %2 of %3 commands, %4 s of %5 s ")
                      .arg(QDir::toNativeSeparators(options_.file))
                      .arg(next_)
                      .arg(commands_.size())
                      .arg(Seconds(clock_.elapsed()), Seconds(dueMs(commands_.size() - 1))));
  }

  void finish(int code) {
    if (finished_) return;
    finished_ = true;
    sendTimer_.stop();
    if (progressTimer_.isActive()) {
      progressTimer_.stop();
      showProgress();
      Print(stderr, QStringLiteral("\n"));
    }
    // Stopped by a signal: the robot is left as the panel's "Exit" leaves it.
    // Positions still waiting are dropped (the person asked it to stop), and
    // "SF" follows the last command the port took.
    const bool stopping = code == kInterruptedExitCode && link_.isOpen();
    if (stopping) {
      link_.DropQueuedPositions();
      link_.Write(ControlCommand(kAllOff));
    }
    // Waits until what was handed over is on the line (at most 2 s); a command
    // is always handed over whole, so stopping never leaves half of one.
    const bool drained = link_.Close();
    const LinkCounters c = link_.counters();
    bytesSent_ = c.bytesSent;
    if (code == kSuccessExitCode && c.droppedOffline > 0) {
      failure_ = QStringLiteral("%1 commands could not be sent to %2.").arg(c.droppedOffline).arg(device_);
      code = kFailureExitCode;
    }
    exitCode_ = code;
    const QString stale =
        c.stale > 0 ? QStringLiteral(" (%1 positions left out as superseded)").arg(c.stale) : QString();
    if (code == kSuccessExitCode) {
      Print(stdout, QStringLiteral("Replayed %1 commands from %2 to %3 at speed %4 in %5 s%6.\n")
                        .arg(commands_.size())
                        .arg(QDir::toNativeSeparators(options_.file), device_)
                        .arg(options_.speed)
                        .arg(Seconds(clock_.elapsed()), stale));
      if (!link_.confirmsDelivery())
        Print(stderr, QStringLiteral("%1: %2 cannot report what it still holds: that the last commands reached the "
                                     "controller cannot be confirmed.\n")
                          .arg(QString::fromUtf8(kAppName), device_));
      // A complete replay sends what was recorded and nothing more; a
      // recording stopped mid-gait leaves the servos on, which is worth saying.
      if (commands_.back().bytes != QByteArray(kAllOff.data(), static_cast<qsizetype>(kAllOff.size())) + '\r')
        Print(stderr, QStringLiteral("%1: the recording does not end with \"SF\": the servos are left as it "
                                     "leaves them.\n")
                          .arg(QString::fromUtf8(kAppName)));
    } else if (code == kInterruptedExitCode) {
      const bool offSent = stopping && drained;
      // A device that cannot report took "SF" from the link; whether it
      // passed it on is not known, so it is not said to have gone.
      const QString off = !offSent ? QString()
                          : link_.confirmsDelivery()
                              ? QStringLiteral(", then \"SF\"")
                              : QStringLiteral(", then \"SF\" handed to %1, which cannot report what it still holds: "
                                               "that it reached the controller cannot be confirmed")
                                    .arg(device_);
      Print(stderr, QStringLiteral("Stopped after %1 of %2 commands; each sent whole%3%4.\n")
                        .arg(c.sent - (offSent ? 1 : 0))
                        .arg(commands_.size())
                        .arg(stale, off));
      if (!offSent) {
        const QString why = stopping ? QStringLiteral("%1 did not carry the last commands within 2 seconds").arg(device_)
                                     : QStringLiteral("%1 is not open").arg(device_);
        Print(stderr, QStringLiteral("%1: %2: \"SF\" may not have reached the controller, so the servos may "
                                     "still be on.\n")
                          .arg(QString::fromUtf8(kAppName), why));
      }
    } else {
      Print(stderr, QStringLiteral("%1: %2\n").arg(QString::fromUtf8(kAppName), failure_));
    }
    QCoreApplication::exit(code);
  }

  const ReplayOptions& options_;
  const std::vector<files::RecordedCommand> commands_;
  const QString device_;
  SerialLink link_;
  QTimer sendTimer_;
  ShutdownSignals stopSignals_;
  QTimer progressTimer_;
  QElapsedTimer clock_;
  std::size_t next_ = 0;
  bool finished_ = false;
  int exitCode_ = kSuccessExitCode;
  std::uint64_t bytesSent_ = 0;
  QString failure_;
};

}  // namespace

int RunReplay(const ReplayOptions& options, int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QString program = QString::fromUtf8(kAppName);

  // Read whole before anything is opened: a malformed line sends nothing.
  std::vector<files::RecordedCommand> commands;
  QString error;
  QStringList warnings;
  if (!files::ReadRecording(options.file, &commands, &error, &warnings)) {
    Print(stderr, QStringLiteral("%1: %2\n").arg(program, error));
    return kUsageExitCode;
  }
  for (const QString& warning : warnings) Print(stderr, QStringLiteral("%1: warning: %2\n").arg(program, warning));
  if (commands.empty()) {
    Print(stdout, QStringLiteral("%1 holds no commands; nothing was sent.\n").arg(QDir::toNativeSeparators(options.file)));
    return kSuccessExitCode;
  }
  // Every time, scaled, must fit the timer that waits for it: a slow speed
  // would otherwise overflow the clock and send everything at once.
  if (!(options.speed > 0) ||
      static_cast<double>(commands.back().ms - commands.front().ms) / options.speed > files::kMaxRecordedMs) {
    Print(stderr, QStringLiteral("%1: --speed %2 would stretch %3's %4 s to more than %5 ms (24 days), the longest "
                                 "a timer waits; nothing was sent.\n")
                      .arg(program)
                      .arg(options.speed)
                      .arg(QDir::toNativeSeparators(options.file))
                      .arg(Seconds(commands.back().ms - commands.front().ms))
                      .arg(files::kMaxRecordedMs));
    return kUsageExitCode;
  }

  // Made before the link so that it outlives it: the link would otherwise
  // see its line hang up while closing.
  std::unique_ptr<sim::VirtualController> controller;
  QString device = options.port;
  if (options.simulator) {
    controller = std::make_unique<sim::VirtualController>();
    if (!controller->start(&error)) {
      Print(stderr, QStringLiteral("%1: --simulator is unavailable: %2\n").arg(program, error));
      return kFailureExitCode;
    }
    device = controller->devicePath();
  }

  int status = kFailureExitCode;
  std::uint64_t bytesSent = 0;
  {
    Replay replay(options, std::move(commands), device);
    if (!replay.open()) return kFailureExitCode;
    QTimer::singleShot(0, [&replay] { replay.begin(); });
    QCoreApplication::exec();
    status = replay.exitCode();
    bytesSent = replay.bytesSent();
  }
  if (controller) {
    // The controller reads from the event loop: let it take in the last bytes.
    QElapsedTimer waited;
    waited.start();
    while (controller->model().bytes() < bytesSent && waited.elapsed() < kControllerCatchUpMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, kCatchUpPollMs);
      QThread::msleep(1);
    }
    const auto& model = controller->model();
    Print(stdout, QStringLiteral("The virtual controller took %1 commands, %2 malformed.\n")
                      .arg(model.commands())
                      .arg(model.malformed()));
  }
  return status;
}

}  // namespace gp
