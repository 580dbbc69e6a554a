#include "protocol/protocol.h"

#include <utility>

#include "core/conversions.h"

namespace gp {

std::string BuildPositionCommand(std::string_view prefix, std::int16_t moduleIndex,
                                 std::string_view hexText) {
  const auto channel = static_cast<std::int16_t>(moduleIndex - 1);
  std::string out(prefix);
  out += SignedDecimal(channel);
  out += hexText;
  out += kCarriageReturn;
  return out;
}

ServoCommand ControlCommand(std::string_view literal) {
  ServoCommand c;
  c.bytes = std::string(literal) + kCarriageReturn;
  return c;
}

ServoCommand PositionCommand(std::int16_t moduleIndex, std::string_view commandText) {
  ServoCommand c;
  c.channel = moduleIndex - 1;
  c.bytes = std::string(commandText) + kCarriageReturn;
  return c;
}

ServoCommand CommandFromBytes(std::string bytes) {
  ServoCommand c;
  // The prefix, the channel's sign place (a blank) and its one digit.
  const std::string_view text(bytes);
  if (text.size() > kPositionPrefix.size() + 1 && text.substr(0, kPositionPrefix.size()) == kPositionPrefix &&
      text[kPositionPrefix.size()] == ' ') {
    const char digit = text[kPositionPrefix.size() + 1];
    if (digit >= '0' && digit < '0' + static_cast<int>(kEnableChannel.size())) c.channel = digit - '0';
  }
  c.bytes = std::move(bytes);
  return c;
}

}  // namespace gp
