#include "gamepad/sdl_pads.h"

#include <SDL.h>

#include <algorithm>
#include <utility>

namespace gp {

namespace {

std::string& StartFailure() {
  static std::string why;
  return why;
}

}  // namespace

void SdlPads::FailNextStartForTesting(const std::string& why) { StartFailure() = why; }

double AxisValue(int raw) { return std::clamp(raw / 32767.0, -1.0, 1.0); }

SdlPads::SdlPads() {
  // The panel has its own handlers for Ctrl+C and a closed terminal.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Pads are read whichever window is in front; SDL has none of its own.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (!StartFailure().empty()) {
    error_ = std::exchange(StartFailure(), std::string());
    return;
  }
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    error_ = SDL_GetError();
    if (error_.empty()) error_ = "SDL's game controllers did not start";
    return;
  }
}

SdlPads::~SdlPads() {
  if (!ok()) return;
  Close();
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void SdlPads::Close() {
  if (pad_ != nullptr) SDL_GameControllerClose(pad_);
  pad_ = nullptr;
  id_ = -1;
}

void SdlPads::OpenFirst(PadDriver& driver, double now) {
  for (int i = 0; i < SDL_NumJoysticks() && pad_ == nullptr; ++i) {
    if (!SDL_IsGameController(i)) continue;
    pad_ = SDL_GameControllerOpen(i);
    if (pad_ == nullptr) continue;
    id_ = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad_));
    const char* name = SDL_GameControllerName(pad_);
    driver.Attached(name != nullptr && *name != '\0' ? name : "gamepad", now);
    // A pad with motion sensors reports all the time, so its silence means
    // it is gone; turning them on gives that heartbeat.
    bool steady = false;
    for (SDL_SensorType sensor : {SDL_SENSOR_GYRO, SDL_SENSOR_ACCEL}) {
      if (SDL_GameControllerHasSensor(pad_, sensor) &&
          SDL_GameControllerSetSensorEnabled(pad_, sensor, SDL_TRUE) == 0) {
        steady = true;
      }
    }
    driver.setReportsSteadily(steady);
  }
}

void SdlPads::Poll(PadDriver& driver, double now) {
  if (!ok()) return;
  bool heard = false;
  bool lost = false;
  bool added = false;
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    switch (event.type) {
      case SDL_CONTROLLERDEVICEADDED: added = true; break;
      case SDL_CONTROLLERDEVICEREMOVED:
        if (event.cdevice.which == id_) lost = true;
        break;
      case SDL_CONTROLLERAXISMOTION: heard = heard || event.caxis.which == id_; break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP: heard = heard || event.cbutton.which == id_; break;
      case SDL_CONTROLLERSENSORUPDATE: heard = heard || event.csensor.which == id_; break;
      default: break;
    }
  }
  if (pad_ != nullptr && (lost || !SDL_GameControllerGetAttached(pad_))) {
    Close();
    driver.Detached();
    added = true;  // another pad still attached takes over
  }
  if (pad_ == nullptr && added) OpenFirst(driver, now);
  if (pad_ == nullptr) return;
  if (heard) driver.Heard(now);
  PadReading r;
  r.leftX = AxisValue(SDL_GameControllerGetAxis(pad_, SDL_CONTROLLER_AXIS_LEFTX));
  r.leftY = AxisValue(SDL_GameControllerGetAxis(pad_, SDL_CONTROLLER_AXIS_LEFTY));
  r.rightTrigger = AxisValue(SDL_GameControllerGetAxis(pad_, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
  r.a = SDL_GameControllerGetButton(pad_, SDL_CONTROLLER_BUTTON_A) != 0;
  r.b = SDL_GameControllerGetButton(pad_, SDL_CONTROLLER_BUTTON_B) != 0;
  r.y = SDL_GameControllerGetButton(pad_, SDL_CONTROLLER_BUTTON_Y) != 0;
  r.rightShoulder = SDL_GameControllerGetButton(pad_, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER) != 0;
  driver.Read(r);
}

}  // namespace gp
