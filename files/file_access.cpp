#include "files/file_access.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gp::files {
namespace {

#ifdef Q_OS_UNIX
QString Kind(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("it is a folder");
  if (S_ISFIFO(mode)) return QStringLiteral("it is a named pipe");
  if (S_ISSOCK(mode)) return QStringLiteral("it is a socket");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device");
  return QStringLiteral("it is not a file of data");
}

// Writes all of bytes, resuming after a signal or a short write.
bool WriteAll(int fd, const QByteArray& bytes) {
  const char* at = bytes.constData();
  auto left = static_cast<std::size_t>(bytes.size());
  while (left > 0) {
    const ssize_t n = ::write(fd, at, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::atomic<unsigned> g_tempNumber{0};
#endif

}  // namespace

QString SystemReason(int errorNumber) { return QString::fromLocal8Bit(std::strerror(errorNumber)); }

bool OpenRegularFile(QFile& file, const QString& path, QString* reason) {
#ifdef Q_OS_UNIX
  const QByteArray name = QFile::encodeName(path);
  struct stat st {};
  // Looked at before it is opened: opening a device may already act on it.
  if (::stat(name.constData(), &st) != 0) {
    *reason = QStringLiteral("cannot be read: ") + SystemReason(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *reason = QStringLiteral("is not a regular file (%1)").arg(Kind(st.st_mode));
    return false;
  }
  // Not waiting, and looked at again, in case it was swapped meanwhile.
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *reason = QStringLiteral("cannot be read: ") + SystemReason(errno);
    return false;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int saved = errno;
    ::close(fd);
    *reason = S_ISREG(st.st_mode) ? QStringLiteral("cannot be read: ") + SystemReason(saved)
                                  : QStringLiteral("is not a regular file (%1)").arg(Kind(st.st_mode));
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    *reason = QStringLiteral("cannot be read: ") + file.errorString();
    return false;
  }
  return true;
#else
  if (!QFileInfo(path).isFile()) {
    *reason = QStringLiteral("is not a regular file");
    return false;
  }
  file.setFileName(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = QStringLiteral("cannot be read: ") + file.errorString();
    return false;
  }
  return true;
#endif
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* reason) {
#ifdef Q_OS_UNIX
  // A link is followed, so that the file it names is replaced, not the link.
  QString target = path;
  const QFileInfo info(path);
  if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) target = info.canonicalFilePath();
  const QByteArray name = QFile::encodeName(target);
  struct stat st {};
  const bool exists = ::stat(name.constData(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    *reason = QStringLiteral("is a folder");
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    const int fd = ::open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      *reason = SystemReason(errno);
      return false;
    }
    const bool written = WriteAll(fd, bytes);
    const int saved = errno;
    if (::close(fd) != 0 && written) {
      *reason = SystemReason(errno);
      return false;
    }
    if (!written) *reason = SystemReason(saved);
    return written;
  }

  const QFileInfo where(target);
  const QByteArray temp =
      QFile::encodeName(where.absoluteDir().filePath(QStringLiteral(".%1.%2-%3.tmp")
                                                         .arg(where.fileName())
                                                         .arg(::getpid())
                                                         .arg(g_tempNumber.fetch_add(1))));
  const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
  const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    *reason = SystemReason(errno);
    return false;
  }
  // The old file's permissions exactly, not as the umask leaves them.
  bool ok = WriteAll(fd, bytes) && (!exists || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.constData(), name.constData()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temp.constData());
    *reason = SystemReason(saved);
  }
  return ok;
#else
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    *reason = file.errorString();
    return false;
  }
  return true;
#endif
}

}  // namespace gp::files
