#pragma once
// Ctrl+C, a closed terminal and a logout (SIGINT, SIGHUP, SIGTERM) end the
// program the orderly way, as "Exit" does, instead of killing it between two
// commands with the robot enabled and the port's lock file left behind.
//
// The handler only writes the signal's number into a pipe; the event loop
// reads it and emits requested(), so the shutdown runs on the user-interface
// thread between two events, never inside a write.

#include <QObject>

class QSocketNotifier;

namespace gp {

class ShutdownSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; one instance at a time.
  explicit ShutdownSignals(QObject* parent = nullptr);
  ~ShutdownSignals() override;

  bool installed() const { return notifier_ != nullptr; }

 signals:
  // Emitted once, for the first of the signals to arrive.
  void requested(int signalNumber);

 private:
  void onReadable();

  QSocketNotifier* notifier_ = nullptr;
  bool emitted_ = false;
};

}  // namespace gp
