#pragma once
// What the virtual servo controller knows: every channel's state, the line's
// rates, the recent malformed commands and each channel's recent angles.
// Plain standard C++; the caller supplies the clock (milliseconds, steady).

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "protocol/line.h"
#include "sim/controller/command_decoder.h"

namespace gp::sim {

// Events per second over the last full second, in 100 ms buckets: cheap to
// add to and to read, and steady at a constant rate.
class RateMeter {
 public:
  void Add(std::int64_t nowMs, std::uint32_t count = 1);
  double PerSecond(std::int64_t nowMs) const;

 private:
  static constexpr int kBuckets = 10;
  static constexpr std::int64_t kBucketMs = 100;
  struct Bucket {
    std::int64_t index = -1;
    std::uint32_t count = 0;
  };
  std::array<Bucket, kBuckets + 1> buckets_{};
};

struct AngleSample {
  std::int64_t ms = 0;
  double angle = 0.0;
};

struct ChannelState {
  bool enabled = false;
  bool hasPosition = false;
  std::int32_t pulseWidth = 1500;
  double angle = 0.0;
  std::uint64_t positions = 0;
  RateMeter rate;
  std::deque<AngleSample> history;  // the last kHistoryMs, oldest first
};

struct TimedMalformed {
  MalformedCommand command;
  std::int64_t ms = 0;
};

class ControllerModel : public DecoderListener {
 public:
  static constexpr std::int64_t kHistoryMs = 6000;
  static constexpr std::size_t kKeptMalformed = 5;

  // Decodes bytes that arrived at nowMs.
  void Feed(std::string_view bytes, std::int64_t nowMs);

  const ChannelState& channel(int c) const { return channels_[static_cast<std::size_t>(c)]; }
  bool ninthEnabled() const { return ninthEnabled_; }
  std::optional<CommandKind> lastControllerCommand() const { return lastController_; }
  std::int64_t lastControllerMs() const { return lastControllerMs_; }

  std::uint64_t bytes() const { return bytes_; }
  std::uint64_t commands() const { return commands_; }
  std::uint64_t malformed() const { return malformed_; }
  std::uint64_t count(CommandKind kind) const { return byKind_[static_cast<std::size_t>(kind)]; }
  // Bytes of complete commands plus bytes of malformed ones: with the
  // decoder's pending bytes, every byte fed.
  std::uint64_t accountedBytes() const { return accountedBytes_; }
  std::size_t pendingBytes() const { return decoder_.pendingBytes(); }
  const std::deque<TimedMalformed>& recentMalformed() const { return recent_; }

  double bytesPerSecond(std::int64_t nowMs) const { return byteRate_.PerSecond(nowMs); }
  double commandsPerSecond(std::int64_t nowMs) const { return commandRate_.PerSecond(nowMs); }

  // Called for every complete command, after it has been taken in.
  void setCommandObserver(std::function<void(const DecodedCommand&)> observer) {
    observer_ = std::move(observer);
  }

  void OnCommand(const DecodedCommand& command) override;
  void OnMalformed(const MalformedCommand& malformed) override;

 private:
  CommandDecoder decoder_;
  std::int64_t now_ = 0;
  std::array<ChannelState, kChannels> channels_{};
  bool ninthEnabled_ = false;
  std::optional<CommandKind> lastController_;
  std::int64_t lastControllerMs_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t commands_ = 0;
  std::uint64_t malformed_ = 0;
  std::uint64_t accountedBytes_ = 0;
  std::array<std::uint64_t, 6> byKind_{};
  std::deque<TimedMalformed> recent_;
  RateMeter byteRate_;
  RateMeter commandRate_;
  std::function<void(const DecodedCommand&)> observer_;
};

}  // namespace gp::sim
