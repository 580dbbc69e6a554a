#include "sim/controller/command_decoder.h"

#include <cstdio>

namespace gp::sim {
namespace {

constexpr char kReturn = '\r';

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not what the panel writes
}

std::int32_t AsSigned32(std::uint32_t value) {
  std::int64_t wide = value;
  if (wide > 0x7FFFFFFF) wide -= 0x100000000LL;
  return static_cast<std::int32_t>(wide);
}

}  // namespace

void CommandDecoder::Feed(std::string_view bytes, DecoderListener& out) {
  for (char c : bytes) Step(c, out);
}

void CommandDecoder::Finish(DecoderListener& out) {
  if (length_ == 0) return;
  if (state_ == State::AwaitSecondReturn)
    EmitMalformed(hasFault_ ? fault_ : Fault::MissingSecondReturn, out);
  else
    EmitMalformed(Fault::Unterminated, out);
}

void CommandDecoder::Reset() {
  state_ = State::Start;
  positionLike_ = false;
  hasFault_ = false;
  fault_ = Fault::UnknownCommand;
  command_ = DecodedCommand{};
  hexValue_ = 0;
  significantDigits_ = 0;
  kept_.clear();
  length_ = 0;
}

void CommandDecoder::Fail(Fault fault) {
  if (!hasFault_) {
    hasFault_ = true;
    fault_ = fault;
  }
  state_ = State::Bad;
}

void CommandDecoder::EmitMalformed(Fault fault, DecoderListener& out) {
  MalformedCommand malformed;
  malformed.fault = fault;
  malformed.bytes = kept_;
  malformed.length = length_;
  Reset();
  out.OnMalformed(malformed);
}

void CommandDecoder::Step(char c, DecoderListener& out) {
  if (state_ == State::AwaitSecondReturn && c != kReturn) {
    // The position is incomplete; this byte is the start of what follows.
    EmitMalformed(hasFault_ ? fault_ : Fault::MissingSecondReturn, out);
  }
  if (kept_.size() < MalformedCommand::kKeptBytes) kept_.push_back(c);
  ++length_;
  if (c == kReturn) {
    EndLine(out);
    return;
  }
  switch (state_) {
    case State::Start:
      if (c == 'S') state_ = State::S;
      else Fail(Fault::UnknownCommand);
      break;
    case State::S:
      switch (c) {
        case 'W':
          state_ = State::SW;
          positionLike_ = true;
          break;
        case 'E':
        case 'D':
          command_.kind = c == 'E' ? CommandKind::Enable : CommandKind::Disable;
          state_ = State::SEorSD;
          break;
        case 'O':
        case 'C':
        case 'F':
          command_.kind = c == 'O' ? CommandKind::AllOn
                          : c == 'C' ? CommandKind::AllConfirm
                                     : CommandKind::AllOff;
          state_ = State::Controller;
          break;
        default:
          Fail(Fault::UnknownCommand);
      }
      break;
    case State::SW:
      if (c == '0') state_ = State::SW0;
      else Fail(Fault::UnknownCommand);
      break;
    case State::SW0:
      if (c == ' ') state_ = State::SWBlank;
      else Fail(Fault::UnknownCommand);
      break;
    case State::SWBlank:
      if (c >= '0' && c <= '7') {
        command_.kind = CommandKind::Position;
        command_.channel = c - '0';
        state_ = State::PosChannel;
      } else {
        Fail(c >= '8' && c <= '9' ? Fault::BadChannel : Fault::UnknownCommand);
      }
      break;
    case State::PosChannel:
    case State::PosHex: {
      const int digit = HexDigitValue(c);
      if (digit < 0) {
        Fail(Fault::BadPulseField);
        break;
      }
      state_ = State::PosHex;
      if (significantDigits_ == 0 && digit == 0) break;  // leading zeros
      if (significantDigits_ < 8) hexValue_ = (hexValue_ << 4) | static_cast<std::uint32_t>(digit);
      if (significantDigits_ <= 8) ++significantDigits_;  // 9 means "too many"
      break;
    }
    case State::SEorSD:
      if (c == '0') state_ = State::SE0;
      else if (c == '1') state_ = State::SE1;
      else Fail(c >= '2' && c <= '9' ? Fault::BadChannel : Fault::UnknownCommand);
      break;
    case State::SE0:
      if (c >= '0' && c <= '7') {
        command_.channel = c - '0';
        state_ = State::SEComplete;
      } else {
        Fail(c >= '8' && c <= '9' ? Fault::BadChannel : Fault::UnknownCommand);
      }
      break;
    case State::SE1:
      if (c == '3') {
        command_.channel = kNinthChannel;
        state_ = State::SEComplete;
      } else {
        Fail(c >= '0' && c <= '9' ? Fault::BadChannel : Fault::UnknownCommand);
      }
      break;
    case State::SEComplete:
    case State::Controller:
      Fail(Fault::UnknownCommand);
      break;
    case State::AwaitSecondReturn:  // handled above
    case State::Bad:
      break;
  }
}

void CommandDecoder::EndLine(DecoderListener& out) {
  switch (state_) {
    case State::AwaitSecondReturn:
      if (hasFault_) {
        EmitMalformed(fault_, out);
      } else {
        command_.length = length_;
        const DecodedCommand done = command_;
        Reset();
        out.OnCommand(done);
      }
      return;
    case State::SEComplete:
    case State::Controller: {
      command_.length = length_;
      const DecodedCommand done = command_;
      Reset();
      out.OnCommand(done);
      return;
    }
    case State::PosHex:
      if (significantDigits_ > 8) {
        Fail(Fault::PulseOutOfRange);
      } else {
        command_.pulseWidth = AsSigned32(hexValue_);
      }
      state_ = State::AwaitSecondReturn;
      return;
    case State::PosChannel:
      Fail(Fault::EmptyPulseField);
      state_ = State::AwaitSecondReturn;
      return;
    case State::Start:
      EmitMalformed(Fault::EmptyCommand, out);
      return;
    default:
      if (!hasFault_) Fail(Fault::UnknownCommand);  // ended early, e.g. "SE0" or "SW0 "
      if (positionLike_) {
        state_ = State::AwaitSecondReturn;  // a broken position still owns its second CR
        return;
      }
      EmitMalformed(fault_, out);
      return;
  }
}

double PulseToAngle(std::int32_t pulseWidth) {
  return (static_cast<double>(pulseWidth) - 1500.0) * 180.0 / 2000.0;
}

std::string CommandText(const DecodedCommand& command) {
  char buffer[32];
  switch (command.kind) {
    case CommandKind::Position:
      std::snprintf(buffer, sizeof buffer, "SW0 %d %04X", command.channel,
                    static_cast<unsigned>(command.pulseWidth));
      return buffer;
    case CommandKind::Enable:
    case CommandKind::Disable:
      std::snprintf(buffer, sizeof buffer, "%s%02d", command.kind == CommandKind::Enable ? "SE" : "SD",
                    command.channel);
      return buffer;
    case CommandKind::AllOn:
      return "SO";
    case CommandKind::AllConfirm:
      return "SC";
    case CommandKind::AllOff:
      return "SF";
  }
  return "?";
}

const char* FaultText(Fault fault) {
  switch (fault) {
    case Fault::EmptyCommand: return "empty command";
    case Fault::UnknownCommand: return "unknown command";
    case Fault::BadChannel: return "no such channel";
    case Fault::EmptyPulseField: return "empty pulse width";
    case Fault::BadPulseField: return "pulse width not hexadecimal";
    case Fault::PulseOutOfRange: return "pulse width beyond 32 bits";
    case Fault::MissingSecondReturn: return "missing second carriage return";
    case Fault::Unterminated: return "cut off";
  }
  return "?";
}

std::string HexBytes(const MalformedCommand& malformed) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(malformed.bytes.size() * 3 + 24);
  for (unsigned char b : malformed.bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  if (malformed.length > malformed.bytes.size()) {
    text += " ... (+" + std::to_string(malformed.length - malformed.bytes.size()) + " bytes)";
  }
  return text;
}

}  // namespace gp::sim
