#include "sim/controller/virtual_controller.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "protocol/line.h"

#if defined(__unix__) || defined(__APPLE__)
#define GP_HAVE_PTY 1
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#else
#define GP_HAVE_PTY 0
#endif

namespace gp::sim {

VirtualController::VirtualController(QObject* parent) : QObject(parent) {
  clock_.start();
  startWall_ = QDateTime::currentDateTime();
}

VirtualController::~VirtualController() {
  notifier_.reset();
#if GP_HAVE_PTY
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
#endif
}

#if GP_HAVE_PTY
namespace {

QString SystemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// The line as the link will set it: 9600 baud, 8 data bits, no parity, one
// stop bit, raw, so that no byte is translated or held back on its way.
bool ConfigureLine(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  static_assert(line::kBaudRate == 9600, "the terminal's speed below is the line's");
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace
#endif

bool VirtualController::start(QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (isRunning()) return true;
#if GP_HAVE_PTY
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return fail(SystemError("cannot open a pseudo-terminal"));
  char name[128] = {};
  const bool named = ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
#if defined(__linux__)
                     ::ptsname_r(master, name, sizeof name) == 0;
#else
                     ::ptsname(master) != nullptr && std::strlen(::ptsname(master)) < sizeof name &&
                     std::strcpy(name, ::ptsname(master)) != nullptr;
#endif
  if (!named) {
    const QString why = SystemError("cannot unlock the pseudo-terminal");
    ::close(master);
    return fail(why);
  }
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || !ConfigureLine(slave)) {
    const QString why = SystemError("cannot set up the pseudo-terminal");
    if (slave >= 0) ::close(slave);
    ::close(master);
    return fail(why);
  }
  master_ = master;
  slave_ = slave;
  devicePath_ = QString::fromLocal8Bit(name);
  // A child, so that tests find it by name and count how often it wakes.
  notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read, this);
  notifier_->setObjectName(QStringLiteral("ControllerInput"));
  connect(notifier_.get(), &QSocketNotifier::activated, this, &VirtualController::readNow);
  return true;
#else
  return fail(QStringLiteral("pseudo-terminals are not available on this platform"));
#endif
}

void VirtualController::readNow() {
#if GP_HAVE_PTY
  if (master_ < 0) return;
  char buffer[4096];
  bool any = false;
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      model_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), nowMs());
      any = true;
      if (static_cast<std::size_t>(n) < sizeof buffer) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // End of file or an error (EIO: no one holds the terminal): nothing more
    // will come, and a notifier left on would fire without end.
    notifier_->setEnabled(false);
    break;
  }
  if (any) emit received();
#endif
}

}  // namespace gp::sim
