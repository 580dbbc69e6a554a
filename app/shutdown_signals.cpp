#include "app/shutdown_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace gp {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");
std::atomic<bool> g_caught{false};
std::atomic<int> g_signal{0};
int g_pipe[2] = {-1, -1};

extern "C" void OnShutdownSignal(int number) {
  const int saved = errno;
  int none = 0;
  g_signal.compare_exchange_strong(none, number);
  g_caught.store(true);
  const auto byte = static_cast<unsigned char>(number);
  // A full pipe already holds a request; nothing is lost by dropping this one.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

SignalCatcher::SignalCatcher() {
  if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  installed_ = true;
  g_caught = false;
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnShutdownSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kShutdownSignals); ++i) {
    // A signal ignored from the start stays ignored: "nohup" asked for it.
    if (::sigaction(kShutdownSignals[i], nullptr, &saved_[i]) != 0 || saved_[i].sa_handler == SIG_IGN) continue;
    ours_[i] = ::sigaction(kShutdownSignals[i], &action, nullptr) == 0;
  }
}

SignalCatcher::~SignalCatcher() {
  if (!installed_) return;
  for (std::size_t i = 0; i < std::size(kShutdownSignals); ++i)
    if (ours_[i]) ::sigaction(kShutdownSignals[i], &saved_[i], nullptr);
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

const std::atomic<bool>& SignalCatcher::caught() const { return g_caught; }
int SignalCatcher::signalNumber() const { return g_signal.load(); }
int SignalCatcher::readFd() const { return installed_ ? g_pipe[0] : -1; }

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
  if (!catcher_.installed()) return;
  notifier_ = new QSocketNotifier(catcher_.readFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
}

ShutdownSignals::~ShutdownSignals() {
  // Before the catcher closes the pipe the notifier watches.
  delete notifier_;
  notifier_ = nullptr;
}

void ShutdownSignals::onReadable() {
  unsigned char byte = 0;
  while (::read(catcher_.readFd(), &byte, 1) == 1) {
  }
  if (emitted_ || catcher_.signalNumber() == 0) return;
  emitted_ = true;
  emit requested(catcher_.signalNumber());
}

}  // namespace gp
