#include "protocol/command_sink.h"

#include "core/conversions.h"

namespace gp {

void SendServoCommand(CommandSink& sink, std::int16_t moduleIndex, const std::string& commandText) {
  sink.Write(PositionCommand(moduleIndex, commandText));
}

void WriteCommand(CommandSink& sink, std::string_view literal) { sink.Write(ControlCommand(literal)); }

int Delay(double count) {
  const std::int16_t passes = NearestInt16(count).value_or(0);
  // volatile keeps the optimiser from removing the empty loop.
  volatile std::int16_t counter = 0;
  for (int i = 1; i <= passes; ++i) counter = static_cast<std::int16_t>(i);
  return counter;
}

}  // namespace gp
