#pragma once
// Where commands go: the serial link in the program, a recorder in tests.

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/protocol.h"

namespace gp {

class CommandSink {
 public:
  virtual ~CommandSink() = default;
  // Hands one whole command over, in program order. Never blocks.
  virtual void Write(ServoCommand command) = 0;
};

// Appends one carriage return to a module's position command text (which
// already ends in one) and writes the whole.
void SendServoCommand(CommandSink& sink, std::int16_t moduleIndex, const std::string& commandText);

// Writes a fixed literal ("SO", "SE00", ...) followed by one carriage return.
void WriteCommand(CommandSink& sink, std::string_view literal);

// Holds the calling thread for a short while between two writes: a counted
// loop of 16-bit passes (the count rounded halves to even; 0, a negative
// count or one beyond 16 bits makes no pass). It neither sleeps nor looks at
// a clock nor processes events. Returns the passes made.
int Delay(double count);

}  // namespace gp
