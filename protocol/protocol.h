#pragma once
// The servo controller's command language: every command's exact characters.
// Each fixed command is held whole, never assembled from a channel number.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gp {

constexpr char kCarriageReturn = '\r';

constexpr std::string_view kPositionPrefix = "SW0";
constexpr std::string_view kAllOn = "SO";       // controller-wide, first of "Enable All"/"Move"
constexpr std::string_view kAllConfirm = "SC";  // controller-wide, after the delay
constexpr std::string_view kAllOff = "SF";      // controller-wide off
constexpr std::string_view kEnableNinth = "SE13";
constexpr std::string_view kDisableNinth = "SD13";

// Enable and disable of channels 0 to 7 (modules 1 to 8).
constexpr std::array<std::string_view, 8> kEnableChannel = {"SE00", "SE01", "SE02", "SE03",
                                                            "SE04", "SE05", "SE06", "SE07"};
constexpr std::array<std::string_view, 8> kDisableChannel = {"SD00", "SD01", "SD02", "SD03",
                                                             "SD04", "SD05", "SD06", "SD07"};

// prefix, the channel (moduleIndex - 1) with its sign place, the hex field and
// one carriage return. Nothing is validated: the hex field is copied as given.
std::string BuildPositionCommand(std::string_view prefix, std::int16_t moduleIndex,
                                 std::string_view hexText);

// One command exactly as it goes on the line, CRs included. A position has
// the controller channel it addresses; every other command has none, and the
// transmit queue never drops or reorders those.
struct ServoCommand {
  static constexpr int kNoChannel = -1;
  int channel = kNoChannel;
  std::string bytes;
  bool IsPosition() const { return channel != kNoChannel; }
};

// The fixed literal followed by one carriage return.
ServoCommand ControlCommand(std::string_view literal);

// A position command text as BuildPositionCommand returns it, with the second
// carriage return that sending adds.
ServoCommand PositionCommand(std::int16_t moduleIndex, std::string_view commandText);

// Bytes that went on the line, read back as a command: a position of one of
// the channels 0 to 7, as BuildPositionCommand lays it out, keeps its channel;
// any other bytes have none.
ServoCommand CommandFromBytes(std::string bytes);

// The most characters a pulse-width field has: "00" and the eight digits of
// a negative 32-bit width.
constexpr std::size_t kMaxPulseDigits = 10;
// The longest command of the protocol, carriage returns included.
constexpr std::size_t kMaxCommandBytes = kPositionPrefix.size() + 2 + kMaxPulseDigits + 2;

// Where bytes stop being a command the panel sends: the offset of the first
// byte that no command has there (the size, when they end too early) and
// why, in words.
struct CommandFault {
  std::size_t at = 0;
  std::string reason;
};

// Nothing when bytes are exactly one whole command of the protocol: a
// position ("SW0", a blank, the channel 0 to 7, up to kMaxPulseDigits
// upper-case hexadecimal digits, two carriage returns) or one of the fixed
// commands followed by one carriage return.
std::optional<CommandFault> CheckCommandBytes(std::string_view bytes);

}  // namespace gp
