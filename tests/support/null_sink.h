#pragma once
// A command sink that takes every command and keeps none: for code that must
// be given somewhere to write.

#include "protocol/command_sink.h"

namespace gp::testing {

class NullSink : public CommandSink {
 public:
  void Write(ServoCommand) override {}
};

}  // namespace gp::testing
