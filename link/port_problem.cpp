#include "link/port_problem.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "link/port_catalogue.h"

namespace gp {
namespace {

// A lock file younger than this may still be being written by its holder.
constexpr qint64 kFreshLockMs = 1000;

using Kind = PortProblem::Kind;

PortProblem Problem(Kind kind, QString reason, QString advice = {}) {
  PortProblem p;
  p.kind = kind;
  p.reason = std::move(reason);
  p.advice = std::move(advice);
  return p;
}

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)).toLower(); }

PortProblem NoSuchDevice() {
  QStringList present;
  for (const PortInfo& port : ListPorts()) present << port.label();
  return Problem(Kind::NoSuchDevice, QStringLiteral("there is no such device"),
                 present.isEmpty()
                     ? QStringLiteral("No serial device is connected: plug in the robot's adapter.")
                     : QStringLiteral("Serial devices connected now: %1.").arg(present.join(QStringLiteral(", "))));
}

// A failed stat() or realpath() of the device, in plain words.
PortProblem PathProblem(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return NoSuchDevice();
    case ENAMETOOLONG:
      return Problem(Kind::Other, QStringLiteral("the name is longer than the system allows for a path"));
    case EACCES:
      return Problem(Kind::PermissionDenied, QStringLiteral("a folder on the way to it may not be searched"));
    default:
      return Problem(Kind::Other, ErrnoText(error));
  }
}

QString UserName() {
  if (const passwd* pw = ::getpwuid(::getuid())) return QString::fromLocal8Bit(pw->pw_name);
  return {};
}

bool InSessionGroups(gid_t gid) {
  if (::getegid() == gid) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  if (::getgroups(n, groups.data()) != n) return false;
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

PortProblem PermissionDenied(const QString& portName) {
  struct stat st {};
  if (::stat(QFile::encodeName(portName).constData(), &st) != 0) return PathProblem(errno);
  PortProblem p = Problem(Kind::PermissionDenied, QStringLiteral("permission denied"));
  const group* gr = ::getgrgid(st.st_gid);
  p.group = gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(st.st_gid);
  const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  const passwd* owner = ::getpwuid(st.st_uid);
  const QString ownerName = owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
  if (!groupMayUse || st.st_gid == 0) {
    p.reason = QStringLiteral("permission denied: only %1 may use it").arg(ownerName);
    p.advice = QStringLiteral("Ask the machine's administrator to give the serial devices to the group dialout.");
    return p;
  }
  p.reason = QStringLiteral("permission denied: the device belongs to the group \"%1\"").arg(p.group);
  bool listed = false;
  const QString user = UserName();
  if (gr) {
    for (char** member = gr->gr_mem; *member; ++member) listed |= QString::fromLocal8Bit(*member) == user;
  }
  if (listed && !InSessionGroups(st.st_gid)) {
    p.advice = QStringLiteral("You were added to %1 after this session began: log out and in again.").arg(p.group);
  } else {
    p.advice = QStringLiteral("Add yourself to it with: sudo usermod -aG %1 $USER, then log out and in again.")
                   .arg(p.group);
  }
  return p;
}

// The first token of a lock file is the holder's process id, in Qt's format
// ("1234\nappname\nhost\n") and in the older one of other programs ("      1234\n").
qint64 LockPid(const QString& path, bool* readable) {
  QFile file(path);
  *readable = file.open(QIODevice::ReadOnly);
  if (!*readable) return 0;
  const QByteArray first = file.read(64).simplified().split(' ').value(0);
  bool ok = false;
  const qint64 pid = first.toLongLong(&ok);
  return ok && pid > 0 ? pid : 0;
}

bool ProcessAlive(qint64 pid) {
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  // A process that has ended but has not been waited for yet still answers
  // kill(); it holds no device any more, so its lock is as stale as any.
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray line = stat.read(512);
  const qsizetype nameEnd = line.lastIndexOf(')');  // the name may hold spaces and ')'
  return nameEnd < 0 || line.mid(nameEnd + 2, 1) != "Z";
}

QString ProgramName(qint64 pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(comm.readAll().trimmed());
}

PortProblem InUse(const QString& lockPath, qint64 pid) {
  PortProblem p = Problem(Kind::InUse, QStringLiteral("another program holds it"),
                          QStringLiteral("Close that program, or choose another device."));
  p.lockPath = lockPath;
  p.pid = pid;
  if (pid <= 0 && !lockPath.isEmpty()) {
    p.reason = QStringLiteral("another program is taking it (its lock file %1 was written just now)").arg(lockPath);
  } else if (pid > 0) {
    const QString program = ProgramName(pid);
    p.reason = program.isEmpty() ? QStringLiteral("another program holds it (process %1)").arg(pid)
                                 : QStringLiteral("another program holds it: %1 (process %2)").arg(program).arg(pid);
  }
  return p;
}

// Checks the lock file: a live holder is reported, a dead one's lock removed
// where allowed.
PortProblem CheckLock(const QString& portName) {
  const QString lockPath = LockFilePath(portName);
  if (lockPath.isEmpty() || !QFileInfo::exists(lockPath)) return {};
  bool readable = false;
  const qint64 pid = LockPid(lockPath, &readable);
  if (!readable) {
    PortProblem p = Problem(Kind::InUse,
                            QStringLiteral("it is marked as in use by the lock file %1, which this user may not read")
                                .arg(lockPath),
                            QStringLiteral("If no program uses the device, remove it with: sudo rm %1").arg(lockPath));
    p.lockPath = lockPath;
    return p;
  }
  if (pid == 0) {
    // Empty or garbage: it names no process, so no process can hold the
    // device by it (Qt would refuse the port for good). A lock being
    // written this very moment is younger than a second: left alone.
    const QFileInfo lock(lockPath);
    if (lock.lastModified().msecsTo(QDateTime::currentDateTime()) < kFreshLockMs)
      return InUse(lockPath, 0);
    if (QFile::remove(lockPath)) return {};
    PortProblem p = Problem(
        Kind::StaleLock,
        QStringLiteral("it is marked as in use by the lock file %1, which names no process, and this user may not "
                       "remove it")
            .arg(lockPath),
        QStringLiteral("Remove it with: sudo rm %1").arg(lockPath));
    p.lockPath = lockPath;
    return p;
  }
  if (pid == ::getpid()) {
    PortProblem p = Problem(Kind::InUse, QStringLiteral("this program has it open already"));
    p.pid = pid;
    p.lockPath = lockPath;
    return p;
  }
  if (ProcessAlive(pid)) return InUse(lockPath, pid);
  if (QFile::remove(lockPath)) return {};
  PortProblem p = Problem(
      Kind::StaleLock,
      QStringLiteral("it is marked as in use by a program that has ended (process %1), and this user may not remove "
                     "the stale lock file %2")
          .arg(pid)
          .arg(lockPath),
      QStringLiteral("Remove it with: sudo rm %1").arg(lockPath));
  p.pid = pid;
  p.lockPath = lockPath;
  return p;
}

QString LockFileName(const QString& portName) {
  QString name = portName;
  if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  return QStringLiteral("LCK..") + name;
}

// Qt can open and lock this name: it survives the trip through QString and
// its lock file's name fits in a folder entry.
bool UsableByQt(const QByteArray& device, const QString& name) {
  return QFile::encodeName(name) == device && QFile::encodeName(LockFileName(name)).size() <= NAME_MAX;
}

}  // namespace

QString PortProblem::text() const {
  if (advice.isEmpty()) return reason + QLatin1Char('.');
  return reason + QStringLiteral(". ") + advice;
}

QString LockFilePath(const QString& portName) {
  static const char* const kFolders[] = {"/var/lock",       "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                         "/tmp",            "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
  const QString file = QLatin1Char('/') + LockFileName(portName);
  for (const char* folder : kFolders) {
    const QString path = QString::fromLatin1(folder) + file;
    const QByteArray encoded = QFile::encodeName(QString::fromLatin1(folder));
    if (::access(encoded.constData(), R_OK) != 0) continue;
    if (QFileInfo::exists(path) || ::access(encoded.constData(), W_OK) == 0) return path;
  }
  return {};
}

QString DisplayPath(const QByteArray& device) {
  QString text;
  for (const char c : device) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      text += QLatin1Char(c);
    } else {
      text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
  }
  // Keep valid UTF-8 (a non-ASCII but well-formed name) as it reads.
  const QString decoded = QFile::decodeName(device);
  return QFile::encodeName(decoded) == device ? decoded : text;
}

QString PortNameFromBytes(const QByteArray& device) {
  const QString name = QFile::decodeName(device);
  if (QFile::encodeName(name) == device) return name;
  if (char* resolved = ::realpath(device.constData(), nullptr)) {
    const QByteArray real(resolved);
    std::free(resolved);
    const QString realName = QFile::decodeName(real);
    if (QFile::encodeName(realName) == real) return realName;
  }
  return name;
}

PortTarget PreparePort(const QByteArray& device) {
  PortTarget target;
  struct stat st {};
  if (device.isEmpty() || ::stat(device.constData(), &st) != 0) {
    target.problem = device.isEmpty() ? NoSuchDevice() : PathProblem(errno);
    return target;
  }
  if (!S_ISCHR(st.st_mode)) {
    target.problem = Problem(Kind::NotSerial, QStringLiteral("it is not a device"),
                             QStringLiteral("Choose a serial device such as /dev/ttyUSB0."));
    return target;
  }
  struct stat lst {};
  const bool isLink = ::lstat(device.constData(), &lst) == 0 && S_ISLNK(lst.st_mode);
  const QString asGiven = QFile::decodeName(device);
  if (!isLink && UsableByQt(device, asGiven)) {
    target.portName = asGiven;
  } else {
    char* resolved = ::realpath(device.constData(), nullptr);
    if (!resolved) {
      target.problem = PathProblem(errno);
      return target;
    }
    const QByteArray real(resolved);
    std::free(resolved);
    const QString name = QFile::decodeName(real);
    if (!UsableByQt(real, name)) {
      target.problem = Problem(Kind::Other,
                               QStringLiteral("the serial port layer cannot spell or lock the device's name %1")
                                   .arg(DisplayPath(real)),
                               QStringLiteral("Give the device a plain name with a symbolic link, e.g. "
                                              "ln -s '<device>' /tmp/robot, and choose that."));
      return target;
    }
    target.portName = name;
  }
  if (::access(QFile::encodeName(target.portName).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
    target.problem = PermissionDenied(target.portName);
    target.portName.clear();
    return target;
  }
  target.problem = CheckLock(target.portName);
  if (!target.problem.ok()) target.portName.clear();
  return target;
}

PortProblem ExplainOpenFailure(const QByteArray& device, const QString& portName, QSerialPort::SerialPortError error,
                               const QString& errorString) {
  const QByteArray path = portName.isEmpty() ? device : QFile::encodeName(portName);
  struct stat st {};
  if (::stat(path.constData(), &st) != 0) return PathProblem(errno);
  if (error == QSerialPort::PermissionError) {
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) return PermissionDenied(portName);
    const PortProblem lock = CheckLock(portName);
    if (!lock.ok()) return lock;
    // Busy without a lock file: another program opened it for itself alone.
    return InUse(QString(), 0);
  }
  if (error == QSerialPort::UnsupportedOperationError)
    return Problem(Kind::NotSerial, QStringLiteral("it is not a serial device (%1)").arg(errorString.toLower()));
  return Problem(Kind::Other, errorString.isEmpty() ? QStringLiteral("unknown error") : errorString.toLower());
}

}  // namespace gp
