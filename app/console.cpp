#include "app/console.h"

#include <cerrno>
#include <cstring>

namespace gp {

void Print(std::FILE* to, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), to);
  std::fflush(to);
}

bool WriteChecked(std::FILE* to, const std::string& text, const char* name, std::string* why) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), to) == text.size();
  const bool flushed = std::fflush(to) == 0;
  if (written && flushed && !std::ferror(to)) return true;
  const int number = errno;
  std::clearerr(to);
  *why = std::string(name) + ": cannot be written: " + (number != 0 ? std::strerror(number) : "write error");
  return false;
}

}  // namespace gp
