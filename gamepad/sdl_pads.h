#pragma once
// Gamepads through SDL's game-controller layer, which maps every known pad
// to one layout (A, B, Y, the shoulder buttons, sticks and triggers) and
// tells when one is plugged in or pulled out. The first pad found steers;
// when it goes, the next one attached takes over. SDL is asked for nothing
// else: no window, no sound, and no handlers for the program's signals,
// which stay the panel's own.
//
// Plain C++ on SDL, told the time: the panel polls it from a timer, tests
// and benchmarks call it with a simulated clock and SDL's virtual pads.

#include <string>

#include "gamepad/pad_driver.h"

struct _SDL_GameController;

namespace gp {

class SdlPads {
 public:
  SdlPads();
  ~SdlPads();
  SdlPads(const SdlPads&) = delete;
  SdlPads& operator=(const SdlPads&) = delete;

  // Whether SDL's game controllers could be started, and if not, why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // The next SdlPads does not start and gives `why` instead, as a machine
  // without SDL's game controllers would.
  static void FailNextStartForTesting(const std::string& why);

  // Takes what SDL has heard of pads since the last call to the driver: pads
  // come and gone, then the steering pad's state; `now` in seconds on any
  // steady clock.
  void Poll(PadDriver& driver, double now);

 private:
  void OpenFirst(PadDriver& driver, double now);
  void Close();

  std::string error_;  // empty once started
  _SDL_GameController* pad_ = nullptr;
  int id_ = -1;  // the steering pad's instance, as SDL's events name it
};

// Reads an SDL axis (-32768 to 32767) as -1 to 1.
double AxisValue(int raw);

}  // namespace gp
