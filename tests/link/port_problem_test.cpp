// Finding serial devices and telling why one cannot be opened, on
// pseudo-terminals standing in for USB adapters.

#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/port_catalogue.h"
#include "link/port_problem.h"
#include "tests/support/pty_pair.h"

namespace gp {
namespace {

using Kind = PortProblem::Kind;

// A pseudo-terminal's slave path as the system spells it.
struct Pty : testing::PtyPair {
  QByteArray path = QFile::encodeName(slavePath());
};

pid_t StartSleeper() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Until it has become "sleep", it would be named after this test.
  for (int i = 0; i < 2000; ++i) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "sleep") break;
    ::usleep(1000);
  }
  return pid;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  file.write(bytes);
}

TEST(PortProblem, MissingDevicesAndFilesThatAreNoDevices) {
  const PortTarget missing = PreparePort("/dev/gaitpanel-no-such-device");
  EXPECT_EQ(missing.problem.kind, Kind::NoSuchDevice);
  EXPECT_TRUE(missing.portName.isEmpty());
  // Says so, and what is there instead.
  const QString text = missing.problem.text();
  EXPECT_TRUE(text.startsWith(QStringLiteral("there is no such device. ")));
  EXPECT_TRUE(text.contains(QStringLiteral("Serial devices connected now: ")) ||
              text.contains(QStringLiteral("No serial device is connected")))
      << text.toStdString();

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WriteFile(dir.filePath(QStringLiteral("plain")), "x");
  EXPECT_EQ(PreparePort(QFile::encodeName(dir.filePath(QStringLiteral("plain")))).problem.kind, Kind::NotSerial);
  EXPECT_EQ(PreparePort(QFile::encodeName(dir.path())).problem.kind, Kind::NotSerial);
}

// A lock file names its holder while the holder lives, in Qt's format and in
// the older one of other serial programs; once the holder has gone, the lock
// is stale and removed.
TEST(PortProblem, LockFilesOfLiveAndEndedPrograms) {
  for (const char* format : {"%1\nsleep\nsomehost\n", "%1\n"}) {
    Pty pty;
    ASSERT_FALSE(pty.path.isEmpty());
    const QString lock = LockFilePath(QString::fromLocal8Bit(pty.path));
    ASSERT_FALSE(lock.isEmpty());
    const pid_t sleeper = StartSleeper();
    ASSERT_GT(sleeper, 0);
    QByteArray content = QString::fromLatin1(format).arg(sleeper, 10).toLatin1();
    WriteFile(lock, content);

    const PortTarget held = PreparePort(pty.path);
    EXPECT_EQ(held.problem.kind, Kind::InUse);
    EXPECT_EQ(held.problem.pid, sleeper);
    EXPECT_TRUE(held.problem.reason.contains(QStringLiteral("sleep (process %1)").arg(sleeper)))
        << held.problem.reason.toStdString();
    EXPECT_TRUE(QFile::exists(lock));

    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
    const PortTarget freed = PreparePort(pty.path);
    EXPECT_TRUE(freed.problem.ok()) << freed.problem.text().toStdString();
    EXPECT_EQ(freed.portName, QString::fromLocal8Bit(pty.path));
    EXPECT_FALSE(QFile::exists(lock));
    QFile::remove(lock);
  }
  // A holder that has ended but not yet been waited for holds nothing.
  Pty pty;
  const QString lock = LockFilePath(QString::fromLocal8Bit(pty.path));
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  WriteFile(lock, QByteArray::number(ended) + "\nsleep\nsomehost\n");
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);  // ended, not reaped
  const PortTarget afterEnd = PreparePort(pty.path);
  ::waitpid(ended, nullptr, 0);
  EXPECT_TRUE(afterEnd.problem.ok()) << afterEnd.problem.text().toStdString();
  EXPECT_FALSE(QFile::exists(lock));
  QFile::remove(lock);
}

// A lock file that names no process (empty, or garbage from a crash) holds
// nothing once it is older than a moment: it is removed and the port opens.
// One written just now is named with its path instead.
TEST(PortProblem, ALockFileThatNamesNoProcessIsStale) {
  for (const QByteArray& content : {QByteArray(), QByteArray("garbage\n"), QByteArray("\0\0\0", 3)}) {
    Pty pty;
    ASSERT_FALSE(pty.path.isEmpty());
    const QString lock = LockFilePath(QString::fromLocal8Bit(pty.path));
    WriteFile(lock, content);
    const PortTarget fresh = PreparePort(pty.path);
    EXPECT_EQ(fresh.problem.kind, Kind::InUse);
    EXPECT_TRUE(fresh.problem.reason.contains(lock)) << fresh.problem.reason.toStdString();

    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    file.close();
    const PortTarget stale = PreparePort(pty.path);
    EXPECT_TRUE(stale.problem.ok()) << stale.problem.text().toStdString();
    EXPECT_FALSE(QFile::exists(lock));
    QSerialPort port(stale.portName);
    EXPECT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
    QFile::remove(lock);
  }
}

// A name too long for a lock file, or one that is not valid UTF-8, still
// opens: through the device it names.
TEST(PortProblem, NamesQtCannotSpellOrLockOpenThroughTheirDevice) {
  Pty pty;
  ASSERT_FALSE(pty.path.isEmpty());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray folder = QFile::encodeName(dir.path());
  for (const QByteArray& leaf : {QByteArray(240, 'r'), QByteArray("robot-\xff\xfe"), QByteArray("robot")}) {
    const QByteArray link = folder + '/' + leaf;
    ASSERT_EQ(::symlink(pty.path.constData(), link.constData()), 0);
    const PortTarget target = PreparePort(link);
    ASSERT_TRUE(target.problem.ok()) << target.problem.text().toStdString();
    EXPECT_EQ(target.portName, QString::fromLocal8Bit(pty.path));
    QSerialPort port(target.portName);
    EXPECT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
    // From the command line, a name Qt cannot spell becomes its device's.
    if (QFile::encodeName(QFile::decodeName(link)) != link) {
      EXPECT_EQ(PortNameFromBytes(link), QString::fromLocal8Bit(pty.path));
    }
  }
  EXPECT_EQ(DisplayPath("/tmp/robot-\xff"), QStringLiteral("/tmp/robot-\\xff"));
}

// As a user outside the device's group: the group is named with the fix; a
// stale lock this user may not remove is reported with its path.
TEST(PortProblem, AnUnprivilegedUserIsToldTheGroupAndTheStaleLock) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a device to another group and to become nobody";
  const group* dialout = ::getgrnam("dialout");
  if (!dialout) GTEST_SKIP() << "this system has no dialout group";
  Pty pty;
  ASSERT_FALSE(pty.path.isEmpty());
  ASSERT_EQ(::chown(pty.path.constData(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(pty.path.constData(), 0660), 0);
  Pty other;  // readable by all, but locked by a program that has ended, as root
  ASSERT_EQ(::chmod(other.path.constData(), 0666), 0);
  const QString lock = LockFilePath(QString::fromLocal8Bit(other.path));
  WriteFile(lock, "999999999\n");

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const PortTarget denied = PreparePort(pty.path);
    const PortTarget stale = PreparePort(other.path);
    const QByteArray report = QByteArray::number(static_cast<int>(denied.problem.kind)) + '\n' +
                              denied.problem.text().toUtf8() + '\n' +
                              QByteArray::number(static_cast<int>(stale.problem.kind)) + '\n' +
                              stale.problem.text().toUtf8() + '\n';
    [[maybe_unused]] const ssize_t n = ::write(fds[1], report.constData(), static_cast<size_t>(report.size()));
    ::_exit(0);
  }
  ::close(fds[1]);
  QByteArray report;
  char buffer[1024];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  QFile::remove(lock);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not become nobody";

  const QList<QByteArray> lines = report.split('\n');
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines[0].toInt(), static_cast<int>(Kind::PermissionDenied));
  EXPECT_TRUE(lines[1].contains("the group \"dialout\"")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains("sudo usermod -aG dialout $USER, then log out and in")) << lines[1].toStdString();
  EXPECT_EQ(lines[2].toInt(), static_cast<int>(Kind::StaleLock));
  EXPECT_TRUE(lines[3].contains(lock.toUtf8())) << lines[3].toStdString();
  EXPECT_TRUE(lines[3].contains("999999999")) << lines[3].toStdString();
}

TEST(PortCatalogue, AStableNameStandsFirstAndFindsItsDevice) {
  Pty pty;
  ASSERT_FALSE(pty.path.isEmpty());
  QTemporaryDir byId;
  ASSERT_TRUE(byId.isValid());
  const QString stable = byId.filePath(QStringLiteral("usb-Robot_Works_Servo_Bridge_A1B2-if00-port0"));
  ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(pty.path), stable));

  EXPECT_EQ(StableNameOf(QString::fromLocal8Bit(pty.path), byId.path()), stable);
  EXPECT_EQ(StableNameOf(QStringLiteral("/dev/gaitpanel-no-such-device"), byId.path()), QString());

  const std::vector<PortInfo> ports = ListPorts(byId.path());
  const auto it = std::find_if(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.stableName == stable; });
  ASSERT_NE(it, ports.end());
  EXPECT_EQ(it->path, QString::fromLocal8Bit(pty.path));
  EXPECT_EQ(ListLine(*it), QStringList({stable, it->path, "-", "-", "-", "-"}).join(QLatin1Char('\t')));
  PortInfo plain;
  plain.path = QStringLiteral("/dev/ttyUSB0");
  plain.description = QStringLiteral("FT232R USB UART");
  plain.usbId = QStringLiteral("0403:6001");
  EXPECT_EQ(ListLine(plain), QStringLiteral("/dev/ttyUSB0\t/dev/ttyUSB0\tFT232R USB UART\t-\t0403:6001\t-"));
}

}  // namespace
}  // namespace gp
