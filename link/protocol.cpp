#include "protocol.h"

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

}  // namespace gp
