#pragma once
// Starting without a display: one clear line and a non-zero status, instead
// of the toolkit's abort and core dump.

#include <QString>
#include <QStringList>

namespace gp {

// Before the application object: false, with *why, when no window system is
// named at all (no DISPLAY or WAYLAND_DISPLAY, no QT_QPA_PLATFORM, no
// -platform among the arguments).
bool DisplayNamed(const QStringList& arguments, QString* why);

// While the application object is made: a platform plugin that cannot start
// prints one line naming what is missing and ends the program with
// kFailureExitCode. The toolkit's messages in the meantime are held back
// and passed on once a window system is up.
class PlatformGuard {
 public:
  PlatformGuard();
  ~PlatformGuard();
  PlatformGuard(const PlatformGuard&) = delete;
  PlatformGuard& operator=(const PlatformGuard&) = delete;
};

}  // namespace gp
