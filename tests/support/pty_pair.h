#pragma once
// A pseudo-terminal pair standing in for the servo controller's serial line:
// the program opens the slave's path exactly as it opens a real serial
// device, and the test reads every byte put on the line at the master.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace gp::testing {

class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = QString::fromLocal8Bit(name);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && !path_.isEmpty(); }
  QString slavePath() const { return path_; }
  // The slave descriptor openpty gave, kept for looking at its settings.
  int slaveFd() const { return slave_; }
  // The far end, where the line's bytes arrive.
  int masterFd() const { return master_; }

  // Closing the master hangs the slave up: the device is gone.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // What has arrived so far, without waiting.
  std::string ReadNow() {
    std::string out;
    char buf[4096];
    for (;;) {
      const ssize_t n = master_ >= 0 ? ::read(master_, buf, sizeof buf) : -1;
      if (n <= 0) break;  // EAGAIN: nothing yet; EIO: no slave open
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

  // Reads for up to timeoutMs, processing events, until `bytes` have come.
  std::string ReadUntil(std::size_t bytes, int timeoutMs) {
    std::string out;
    QElapsedTimer t;
    t.start();
    while (out.size() < bytes && t.elapsed() < timeoutMs) {
      Pause();
      out += ReadNow();
    }
    return out;
  }

  // Reads everything that arrives during ms milliseconds, processing events.
  std::string ReadFor(int ms) { return ReadUntil(static_cast<std::size_t>(-1), ms); }

  // Reads, processing events, until nothing more has come for quietMs (or
  // maxMs have passed).
  QByteArray ReadUntilQuiet(int quietMs = 150, int maxMs = 5000) {
    QByteArray got;
    QElapsedTimer total;
    total.start();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && total.elapsed() < maxMs) {
      Pause();
      const std::string more = ReadNow();
      if (more.empty()) continue;
      got += QByteArray::fromStdString(more);
      quiet.restart();
    }
    return got;
  }

  // Reads, processing events, until what was read ends with `tail` (or maxMs
  // have passed).
  QByteArray ReadUntilTail(const QByteArray& tail, int maxMs = 5000) {
    QByteArray got;
    QElapsedTimer total;
    total.start();
    while (!got.endsWith(tail) && total.elapsed() < maxMs) {
      Pause();
      got += QByteArray::fromStdString(ReadNow());
    }
    return got;
  }

 private:
  static void Pause() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QThread::usleep(500);
  }

  int master_ = -1;
  int slave_ = -1;
  QString path_;
};

}  // namespace gp::testing
