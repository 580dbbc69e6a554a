#pragma once
// The servo controller's side of the line: turns the byte stream into the
// commands the panel sends. Plain standard C++.
//
// Framing. A command runs up to a carriage return. A line that begins with
// "SW" is a position and takes two carriage returns; every other command
// takes one. A position whose second carriage return does not follow at once
// is reported malformed ("missing second carriage return") and is not
// applied, and the byte that came instead begins the next command, so the
// command after it is not lost. Anything that is not a command of the
// protocol, character for character, is reported malformed when its line
// ends; decoding starts afresh after that carriage return. No input is too
// long or too strange: the decoder keeps a bounded amount of state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gp::sim {

// The controller's own channels. The decoder stands in for the controller on
// the far end, which knows nothing of the panel, so it keeps its count itself.
constexpr int kChannels = 8;        // channels 0 to 7, modules 1 to 8
constexpr int kNinthChannel = 13;   // enabled and disabled only, never positioned

enum class CommandKind : std::uint8_t { Position, Enable, Disable, AllOn, AllConfirm, AllOff };

struct DecodedCommand {
  CommandKind kind = CommandKind::Position;
  int channel = -1;             // 0 to 7, or 13 for the ninth; -1 for SO, SC, SF
  std::int32_t pulseWidth = 0;  // positions: microseconds (hex read as 32-bit two's complement)
  std::size_t length = 0;       // bytes on the line, carriage returns included
};

enum class Fault : std::uint8_t {
  EmptyCommand,        // a carriage return with nothing before it
  UnknownCommand,      // not a command of the protocol
  BadChannel,          // a known command with a channel it does not have
  EmptyPulseField,     // "SW0", blank, channel and no width
  BadPulseField,       // a width field with a character that is not upper-case hex
  PulseOutOfRange,     // a width field with more than eight significant digits
  MissingSecondReturn, // a position followed by something other than its second CR
  Unterminated,        // cut off by the end of the stream
};

struct MalformedCommand {
  static constexpr std::size_t kKeptBytes = 48;
  Fault fault = Fault::UnknownCommand;
  std::string bytes;       // the first kKeptBytes bytes, carriage returns included
  std::size_t length = 0;  // every byte it took on the line
};

class DecoderListener {
 public:
  virtual ~DecoderListener() = default;
  virtual void OnCommand(const DecodedCommand& command) = 0;
  virtual void OnMalformed(const MalformedCommand& malformed) = 0;
};

class CommandDecoder {
 public:
  // Decodes the bytes in order; any split of a stream into pieces gives the
  // same events as the whole.
  void Feed(std::string_view bytes, DecoderListener& out);
  // The stream has ended: a command begun and not finished is reported.
  void Finish(DecoderListener& out);
  // Bytes taken in that belong to a command not yet complete.
  std::size_t pendingBytes() const { return length_; }

 private:
  enum class State : std::uint8_t {
    Start, S, SW, SW0, SWBlank, PosChannel, PosHex, AwaitSecondReturn,
    SEorSD, SE0, SE1, SEComplete, Controller, Bad,
  };

  void Step(char c, DecoderListener& out);
  void Fail(Fault fault);
  void EndLine(DecoderListener& out);
  void EmitMalformed(Fault fault, DecoderListener& out);
  void Reset();

  State state_ = State::Start;
  Fault fault_ = Fault::UnknownCommand;  // first fault of a line that went bad
  bool positionLike_ = false;            // the line began with "SW": two CRs end it
  bool hasFault_ = false;
  DecodedCommand command_;
  std::uint32_t hexValue_ = 0;
  int significantDigits_ = 0;
  std::string kept_;
  std::size_t length_ = 0;
};

// The joint angle a pulse width stands for: 1500 us is 0 degrees, 2000 us per
// 180 degrees.
double PulseToAngle(std::int32_t pulseWidth);

// "SW0 0 05DC"-like short names for display: the command as the panel
// writes it, without carriage returns and with the width in four or more digits.
std::string CommandText(const DecodedCommand& command);
const char* FaultText(Fault fault);
// "53 57 30 0D", with " ... (+N bytes)" when only the first bytes were kept.
std::string HexBytes(const MalformedCommand& malformed);

}  // namespace gp::sim
