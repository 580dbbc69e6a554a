#pragma once
// A pseudo-terminal pair standing in for the servo controller's serial line:
// the panel opens the slave side as its port, the test reads every byte the
// panel puts on the line from the master side.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTest>

class PtyWire {
 public:
  PtyWire() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    device_ = QString::fromLocal8Bit(name);
  }
  ~PtyWire() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  PtyWire(const PtyWire&) = delete;
  PtyWire& operator=(const PtyWire&) = delete;

  bool ok() const { return master_ >= 0 && !device_.isEmpty(); }
  const QString& device() const { return device_; }

  // Reads what has arrived, running the event loop, until nothing more has
  // come for quietMs (or maxMs have passed).
  QByteArray take(int quietMs = 150, int maxMs = 5000) {
    QByteArray got;
    QElapsedTimer total;
    total.start();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && total.elapsed() < maxMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (readSome(got)) quiet.restart();
      QTest::qSleep(2);
    }
    return got;
  }

  // Reads until the bytes read end with the given tail, or maxMs pass.
  QByteArray until(const QByteArray& tail, int maxMs = 5000) {
    QByteArray got;
    QElapsedTimer total;
    total.start();
    while (!got.endsWith(tail) && total.elapsed() < maxMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (!readSome(got)) QTest::qSleep(2);
    }
    return got;
  }

 private:
  bool readSome(QByteArray& into) {
    char buf[4096];
    bool any = false;
    for (;;) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      into.append(buf, static_cast<qsizetype>(n));
      any = true;
    }
    return any;
  }

  int master_ = -1;
  int slave_ = -1;
  QString device_;
};
