#pragma once
// A gamepad that is not there: SDL's virtual game controller, which SDL's
// own game-controller layer sees plugged in, moved and pulled out as it
// would a real one.

#include <SDL.h>

#include <string>

namespace gp::testing {

class VirtualPad {
 public:
  explicit VirtualPad(const char* name = "Virtual pad") {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return;
    started_ = true;
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = name;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) return;
    stick_ = SDL_JoystickOpen(index);
    if (stick_ != nullptr) id_ = SDL_JoystickInstanceID(stick_);
  }
  ~VirtualPad() {
    Unplug();
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  bool ok() const { return stick_ != nullptr; }
  static std::string Error() { return SDL_GetError(); }

  // -32768 to 32767; a trigger from 0.
  void Axis(SDL_GameControllerAxis axis, int value) {
    if (stick_) SDL_JoystickSetVirtualAxis(stick_, axis, static_cast<Sint16>(value));
  }
  void Button(SDL_GameControllerButton button, bool down) {
    if (stick_) SDL_JoystickSetVirtualButton(stick_, button, down ? 1 : 0);
  }
  void Unplug() {
    if (stick_ == nullptr) return;
    SDL_JoystickClose(stick_);
    stick_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id_) SDL_JoystickDetachVirtual(i);
    }
  }

 private:
  bool started_ = false;
  SDL_Joystick* stick_ = nullptr;
  SDL_JoystickID id_ = -1;
};

}  // namespace gp::testing
