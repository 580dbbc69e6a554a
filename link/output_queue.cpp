#include "link/output_queue.h"

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace gp {
namespace {

#ifdef Q_OS_LINUX
// The slaves of Unix 98 pseudo-terminals have the majors 136 to 143.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;
#endif

}  // namespace

std::optional<std::size_t> OutputQueueBytes(qintptr handle) {
#ifdef Q_OS_UNIX
  const int fd = static_cast<int>(handle);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
#ifdef Q_OS_LINUX
  if (S_ISCHR(st.st_mode) && major(st.st_rdev) >= kFirstPtyMajor && major(st.st_rdev) <= kLastPtyMajor)
    return std::nullopt;
#endif
  int held = 0;
  if (::ioctl(fd, TIOCOUTQ, &held) != 0 || held < 0) return std::nullopt;
  return static_cast<std::size_t>(held);
#else
  (void)handle;
  return std::nullopt;
#endif
}

}  // namespace gp
