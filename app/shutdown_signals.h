#pragma once
// Ctrl+C, a closed terminal and a logout (SIGINT, SIGTERM, SIGHUP) end the
// program the orderly way, as "Exit" does, instead of killing it between two
// commands with the robot enabled and the port's lock file left behind.
//
// One handler serves every part that stops on them: it only notes the first
// signal's number and a flag in lock-free atomics and writes a byte into a
// pipe. A loop (the search) looks at the flag between two steps; the event
// loop (the panel, the replay) reads the pipe and runs the shutdown on the
// user-interface thread between two events, never inside a write.

#include <QObject>
#include <atomic>
#include <signal.h>

class QSocketNotifier;

namespace gp {

inline constexpr int kShutdownSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler, installed while this lives, one at a time; the handlers that
// were there before come back when it goes. A signal ignored at start (as
// nohup leaves SIGHUP) is left ignored.
class SignalCatcher {
 public:
  SignalCatcher();
  ~SignalCatcher();
  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;

  bool installed() const { return installed_; }
  // Set by the first signal.
  const std::atomic<bool>& caught() const;
  // The first signal's number; 0 before any.
  int signalNumber() const;
  // Readable once a signal has come; -1 when not installed.
  int readFd() const;

 private:
  bool installed_ = false;
  struct sigaction saved_[std::size(kShutdownSignals)] {};
  bool ours_[std::size(kShutdownSignals)] = {};  // installed: not ignored at start
};

class ShutdownSignals : public QObject {
  Q_OBJECT
 public:
  explicit ShutdownSignals(QObject* parent = nullptr);
  ~ShutdownSignals() override;

  bool installed() const { return notifier_ != nullptr; }

 signals:
  // Emitted once, for the first of the signals to arrive.
  void requested(int signalNumber);

 private:
  void onReadable();

  SignalCatcher catcher_;
  QSocketNotifier* notifier_ = nullptr;
  bool emitted_ = false;
};

}  // namespace gp
