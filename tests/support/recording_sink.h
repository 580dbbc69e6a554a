#pragma once
// A command sink that keeps every command handed to it, in order, and passes
// each one on to another sink if it was given one.

#include <string>
#include <utility>
#include <vector>

#include "protocol/command_sink.h"

namespace gp::testing {

class RecordingSink : public CommandSink {
 public:
  explicit RecordingSink(CommandSink* next = nullptr) : next_(next) {}

  void Write(ServoCommand command) override {
    commands.push_back(command);
    events.push_back((command.IsPosition() ? "P" + std::to_string(command.channel) + ":" : "C:") + command.bytes);
    if (next_ != nullptr) next_->Write(std::move(command));
  }

  // Something else that happened between two writes, in the same stream.
  void Note(std::string text) { events.push_back(std::move(text)); }

  int writes() const { return static_cast<int>(commands.size()); }

  std::vector<ServoCommand> commands;
  // "P<channel>:<bytes>" for a position, "C:<bytes>" for anything else, and
  // whatever was noted.
  std::vector<std::string> events;

 private:
  CommandSink* next_;
};

}  // namespace gp::testing
