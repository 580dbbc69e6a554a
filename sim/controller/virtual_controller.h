#pragma once
// A servo controller inside the program: opens a pseudo-terminal pair, hands
// out the terminal's device path for the link to open like any serial port,
// and decodes whatever arrives on the other end.

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "sim/controller/controller_model.h"

class QSocketNotifier;

namespace gp::sim {

class VirtualController : public QObject {
  Q_OBJECT
 public:
  using CommandObserver = std::function<void(const DecodedCommand&)>;

  explicit VirtualController(QObject* parent = nullptr);
  ~VirtualController() override;

  // Opens the pair. False, with the reason in *error, when the platform has
  // no pseudo-terminals or the system refuses one.
  bool start(QString* error);
  bool isRunning() const { return master_ >= 0; }
  // The terminal the link opens, e.g. "/dev/pts/3"; empty until started.
  QString devicePath() const { return devicePath_; }

  const ControllerModel& model() const { return model_; }
  // The model's clock: milliseconds since the controller was made.
  std::int64_t nowMs() const { return clock_.elapsed(); }
  QDateTime wallTime(std::int64_t ms) const { return startWall_.addMSecs(ms); }

  // Called for every complete command, after the model has taken it in.
  void setCommandObserver(CommandObserver observer) { model_.setCommandObserver(std::move(observer)); }

 signals:
  // Bytes were decoded; emitted once for each read that brought any.
  void received();

 private:
  // Reads and decodes whatever is waiting.
  void readNow();

  ControllerModel model_;
  QElapsedTimer clock_;
  QDateTime startWall_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master never sees the line hang up
  QString devicePath_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace gp::sim
