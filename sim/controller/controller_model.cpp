#include "sim/controller/controller_model.h"

namespace gp::sim {

void RateMeter::Add(std::int64_t nowMs, std::uint32_t count) {
  const std::int64_t index = nowMs / kBucketMs;
  Bucket& bucket = buckets_[static_cast<std::size_t>(index % (kBuckets + 1))];
  if (bucket.index != index) {
    bucket.index = index;
    bucket.count = 0;
  }
  bucket.count += count;
}

double RateMeter::PerSecond(std::int64_t nowMs) const {
  // The ten buckets before the current one: one whole second.
  const std::int64_t current = nowMs / kBucketMs;
  std::uint64_t sum = 0;
  for (const Bucket& bucket : buckets_) {
    if (bucket.index >= current - kBuckets && bucket.index < current) sum += bucket.count;
  }
  return static_cast<double>(sum);
}

void ControllerModel::Feed(std::string_view bytes, std::int64_t nowMs) {
  if (bytes.empty()) return;
  now_ = nowMs;
  bytes_ += bytes.size();
  byteRate_.Add(nowMs, static_cast<std::uint32_t>(bytes.size()));
  decoder_.Feed(bytes, *this);
}

void ControllerModel::OnCommand(const DecodedCommand& command) {
  ++commands_;
  ++byKind_[static_cast<std::size_t>(command.kind)];
  accountedBytes_ += command.length;
  commandRate_.Add(now_);
  switch (command.kind) {
    case CommandKind::Position: {
      ChannelState& ch = channels_[static_cast<std::size_t>(command.channel)];
      ch.hasPosition = true;
      ch.pulseWidth = command.pulseWidth;
      ch.angle = PulseToAngle(command.pulseWidth);
      ++ch.positions;
      ch.rate.Add(now_);
      ch.history.push_back({now_, ch.angle});
      while (ch.history.front().ms < now_ - kHistoryMs) ch.history.pop_front();
      break;
    }
    case CommandKind::Enable:
    case CommandKind::Disable: {
      const bool on = command.kind == CommandKind::Enable;
      if (command.channel == kNinthChannel) ninthEnabled_ = on;
      else channels_[static_cast<std::size_t>(command.channel)].enabled = on;
      break;
    }
    case CommandKind::AllOn:
    case CommandKind::AllConfirm:
    case CommandKind::AllOff:
      lastController_ = command.kind;
      lastControllerMs_ = now_;
      break;
  }
  if (observer_) observer_(command);
}

void ControllerModel::OnMalformed(const MalformedCommand& malformed) {
  ++malformed_;
  accountedBytes_ += malformed.length;
  recent_.push_back({malformed, now_});
  if (recent_.size() > kKeptMalformed) recent_.pop_front();
}

}  // namespace gp::sim
