#pragma once
// A device with a real output queue, for the link: a pseudo-terminal whose
// far end this drains at the line's 960 bytes a second on a thread of its
// own, or stops draining (a Bluetooth module whose radio link degrades, a
// controller holding off). How much it holds is what was written to the
// terminal and not yet read at its far end, and the link asks it that
// through its queue probe, as it asks a UART's driver.

#include <sys/ioctl.h>

#include <functional>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty_pair.h"

namespace gp::testing {

class QueuedDevice {
 public:
  static constexpr int kBytesPerSecond = 960;

  struct Arrival {
    qint64 ms;  // since the device was made
    std::string bytes;
  };

  QueuedDevice() : drainer_([this] { Drain(); }) {}
  ~QueuedDevice() {
    done_ = true;
    drainer_.join();
  }
  QueuedDevice(const QueuedDevice&) = delete;
  QueuedDevice& operator=(const QueuedDevice&) = delete;

  bool ok() const { return pty_.ok(); }
  QString path() const { return pty_.slavePath(); }

  // What the device holds: written and not yet taken.
  std::optional<std::size_t> held() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (gone_) return std::nullopt;
    int n = 0;
    if (::ioctl(pty_.masterFd(), FIONREAD, &n) != 0 || n < 0) return std::nullopt;
    return static_cast<std::size_t>(n);
  }
  std::function<std::optional<std::size_t>()> probe() const {
    return [this] { return held(); };
  }

  void stop() { flowing_ = false; }
  void resume() {
    const std::lock_guard<std::mutex> lock(mutex_);
    flowing_ = true;
  }
  qint64 nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  }
  // The device goes (unplugged while the line stood): the link sees a hang-up.
  void hangUp() {
    const std::lock_guard<std::mutex> lock(mutex_);
    gone_ = true;
    pty_.CloseMaster();
  }

  std::vector<Arrival> arrivals() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
  }
  std::string received() const {
    std::string all;
    for (const auto& a : arrivals()) all += a.bytes;
    return all;
  }
  // What it took from `fromMs` (on its clock) for `forMs`.
  std::string receivedBetween(qint64 fromMs, qint64 forMs) const {
    std::string some;
    for (const auto& a : arrivals())
      if (a.ms >= fromMs && a.ms < fromMs + forMs) some += a.bytes;
    return some;
  }

 private:
  void Drain() {
    double allowance = 0;
    auto last = std::chrono::steady_clock::now();
    while (!done_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const auto now = std::chrono::steady_clock::now();
      const double seconds = std::chrono::duration<double>(now - last).count();
      last = now;
      if (!flowing_) {
        allowance = 0;
        continue;
      }
      // Never more than a byte's worth banked: the line carries no burst.
      allowance = std::min(allowance + seconds * kBytesPerSecond, 2.0);
      const auto n = static_cast<std::size_t>(allowance);
      if (n == 0) continue;
      const std::lock_guard<std::mutex> lock(mutex_);
      if (gone_) continue;
      char buf[64];
      const ssize_t got = ::read(pty_.masterFd(), buf, std::min(n, sizeof buf));
      if (got > 0) {
        allowance -= static_cast<double>(got);
        arrivals_.push_back({nowMs(), std::string(buf, static_cast<std::size_t>(got))});
      }
    }
  }

  PtyPair pty_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;
  std::vector<Arrival> arrivals_;
  std::atomic<bool> flowing_{true};
  std::atomic<bool> done_{false};
  bool gone_ = false;
  std::thread drainer_;
};

}  // namespace gp::testing
