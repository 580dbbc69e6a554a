#include "protocol/protocol.h"

#include <algorithm>
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

namespace {

// How many leading bytes of `bytes` a position command could begin with,
// and whether they are one whole: "SW0", a blank, the channel 0 to 7, the
// pulse width in upper-case hexadecimal (as many digits as a 32-bit width
// takes, none before a module's first step), two carriage returns.
std::pair<std::size_t, bool> PositionMatch(std::string_view bytes) {
  std::size_t at = 0;
  const auto take = [&](auto accept) {
    if (at < bytes.size() && accept(bytes[at])) {
      ++at;
      return true;
    }
    return false;
  };
  for (const char c : kPositionPrefix)
    if (!take([c](char b) { return b == c; })) return {at, false};
  if (!take([](char b) { return b == ' '; })) return {at, false};
  if (!take([](char b) { return b >= '0' && b <= '7'; })) return {at, false};
  for (std::size_t digits = 0; digits < kMaxPulseDigits; ++digits)
    if (!take([](char b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F'); })) break;
  for (int cr = 0; cr < 2; ++cr)
    if (!take([](char b) { return b == kCarriageReturn; })) return {at, false};
  return {at, at == bytes.size()};
}

}  // namespace

std::optional<CommandFault> CheckCommandBytes(std::string_view bytes) {
  // The longest start any command of the protocol shares with the bytes.
  // Plain variables, not a structured binding: the lambda below changes
  // them, and C++17 lets no lambda capture a binding.
  const auto position = PositionMatch(bytes);
  std::size_t longest = position.first;
  bool whole = position.second;
  if (whole) return std::nullopt;
  const auto fixed = [&](std::string_view literal) {
    std::size_t at = 0;
    while (at < bytes.size() && at < literal.size() && bytes[at] == literal[at]) ++at;
    if (at == literal.size() && at < bytes.size() && bytes[at] == kCarriageReturn) {
      ++at;
      if (at == bytes.size()) whole = true;
    }
    longest = std::max(longest, at);
  };
  for (const std::string_view literal : {kAllOn, kAllConfirm, kAllOff, kEnableNinth, kDisableNinth}) fixed(literal);
  for (const std::string_view literal : kEnableChannel) fixed(literal);
  for (const std::string_view literal : kDisableChannel) fixed(literal);
  if (whole) return std::nullopt;
  if (longest >= bytes.size()) return CommandFault{bytes.size(), "the command ends before it is whole"};
  const auto u = static_cast<unsigned char>(bytes[longest]);
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown = u >= 0x20 && u < 0x7f ? std::string("'") + bytes[longest] + "'"
                                            : std::string("the byte 0x") + kHex[u >> 4] + kHex[u & 15];
  return CommandFault{longest, shown + " is not part of any command the panel sends"};
}

}  // namespace gp
