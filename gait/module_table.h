#pragma once
// The gait's whole state: one row per module and three scalars. Plain data,
// owned by the control panel, zeroed when it is created.

#include <array>
#include <cstdint>
#include <string>

namespace gp {

// Booleans are 16-bit integers; only -1 counts as true.
using Bool16 = std::int16_t;
constexpr Bool16 kTrue = -1;
constexpr Bool16 kFalse = 0;
constexpr bool IsTrue(Bool16 b) { return b == kTrue; }

// Rows 1 to 8 are the modules (module n is servo channel n-1); row 9 is used
// by ServoEnabled alone, for the ninth channel; rows 0 and 10 to 30 are spare.
constexpr int kTableRows = 31;
constexpr int kModules = 8;
constexpr int kFirstModule = 1;
constexpr int kLastModule = kModules;
constexpr int kNinthChannelRow = 9;

// The bounds a gait keeps to, wherever it is entered or read: an
// amplitude's size in whole degrees, and Timer1's interval in milliseconds.
constexpr int kAmpLimit = 90;
constexpr int kMinIntervalMs = 1;
constexpr int kMaxIntervalMs = 1000;
// The interval's bounds as messages name them: "1 to 1000 ms".
inline std::string IntervalRangeText() {
  return std::to_string(kMinIntervalMs) + " to " + std::to_string(kMaxIntervalMs) + " ms";
}

// Both timers' interval from the start, in milliseconds: the refresh keeps it
// for good; the gait clock's is the operator's to change.
constexpr int kDesignIntervalMs = 20;

template <typename T>
using Column = std::array<T, kTableRows>;

struct ModuleTable {
  Column<std::int16_t> Amp{};         // swing amplitude, whole degrees
  Column<double> Phase{};             // phase offset, degrees
  Column<std::int16_t> InitAngle{};   // centre angle, whole degrees
  Column<double> Angle{};             // angle of the last gait step, degrees
  Column<std::int32_t> PulseWidth{};  // microseconds, 1500 is the centre
  Column<std::string> CommandText{};  // last position command, its CR included
  Column<std::string> PulseHex{};     // PulseWidth as the command's hex field
  Column<Bool16> ServoEnabled{};      // whether the gait drives the module
};

struct GaitState {
  std::int16_t StepIndex = 0;     // 0 after start-up or "Stop", else 1 to 20
  Bool16 Running = kFalse;        // -1 while the gait moves
  std::int16_t WaveFunction = 0;  // chosen control function; 0 is the sine
};

}  // namespace gp
