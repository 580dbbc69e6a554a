#include "gait/operator_sequence.h"

#include <cstddef>
#include <string_view>

#include "protocol/protocol.h"

namespace gp {

void ClickCheck(ModuleTable& table, CommandSink& sink, int row, bool on) {
  table.ServoEnabled[static_cast<std::size_t>(row)] = on ? kTrue : kFalse;
  std::string_view command;
  if (row == kNinthChannelRow) {
    command = on ? kEnableNinth : kDisableNinth;
  } else {
    const auto channel = static_cast<std::size_t>(row - kFirstModule);
    command = on ? kEnableChannel[channel] : kDisableChannel[channel];
  }
  WriteCommand(sink, command);
}

void EnableAll(CommandSink& sink) {
  WriteCommand(sink, kAllOn);
  Delay(kDelayCount);
  WriteCommand(sink, kAllConfirm);
}

void Move(GaitState& state, CommandSink& sink) {
  EnableAll(sink);
  state.Running = kTrue;
}

void StartGait(ModuleTable& table, GaitState& state, CommandSink& sink) {
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (IsTrue(table.ServoEnabled[static_cast<std::size_t>(n)])) ClickCheck(table, sink, n, true);
  }
  Move(state, sink);
}

void Relax(GaitState& state, CommandSink& sink) {
  state.Running = kFalse;
  for (std::string_view literal : kDisableChannel) WriteCommand(sink, literal);
}

void Resume(const ModuleTable& table, CommandSink& sink) {
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (IsTrue(table.ServoEnabled[static_cast<std::size_t>(n)]))
      WriteCommand(sink, kEnableChannel[static_cast<std::size_t>(n - kFirstModule)]);
  }
}

}  // namespace gp
