#include "protocol/transmit_queue.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace gp {

TransmitQueue::TransmitQueue(int baudRate, std::size_t leadBytes)
    : baudRate_(baudRate > 0 ? baudRate : line::kBaudRate), lead_(LineTime(leadBytes)) {}

TransmitQueue::Time TransmitQueue::LineTime(std::size_t bytes) const {
  // Rounded up, so the clock can only ever run behind the line, never ahead.
  const auto bits = static_cast<std::int64_t>(bytes) * line::kBitsPerByte;
  constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
  return Time((bits * kNanosPerSecond + baudRate_ - 1) / baudRate_);
}

TransmitQueue::Placement TransmitQueue::Push(ServoCommand command, Time now) {
  Placement placement = Placement::Appended;
  if (command.IsPosition()) {
    // Each channel has at most one position waiting; find it, and whether a
    // control command stands behind it.
    bool controlBehind = false;
    auto waiting = entries_.end();
    for (auto it = entries_.end(); it != entries_.begin();) {
      --it;
      if (!it->command.IsPosition()) {
        controlBehind = true;
      } else if (it->command.channel == command.channel) {
        waiting = it;
        break;
      }
    }
    if (waiting != entries_.end()) {
      ++counters_.stale;
      if (!controlBehind) {
        waiting->command.bytes = std::move(command.bytes);
        waiting->queuedAt = now;
        return Placement::ReplacedInPlace;
      }
      entries_.erase(waiting);
      placement = Placement::DroppedAndAppended;
    }
    // Take its turn among the positions behind the last control command.
    const auto turnOf = [this](int channel) {
      const auto it = lastHandOver_.find(channel);
      return it == lastHandOver_.end() ? std::uint64_t{0} : it->second;
    };
    const std::uint64_t mine = turnOf(command.channel);
    auto at = entries_.end();
    while (at != entries_.begin()) {
      const auto before = std::prev(at);
      if (!before->command.IsPosition() || turnOf(before->command.channel) <= mine) break;
      at = before;
    }
    entries_.insert(at, Entry{std::move(command), now});
    counters_.largestQueue = std::max(counters_.largestQueue, entries_.size());
    return placement;
  }
  entries_.push_back(Entry{std::move(command), now});
  counters_.largestQueue = std::max(counters_.largestQueue, entries_.size());
  return placement;
}

std::optional<TransmitQueue::Entry> TransmitQueue::Take(Time now, std::size_t portBacklogBytes) {
  // What the port still holds is on its way to the line: the line cannot be
  // free before it has gone (a device slower than its nominal rate, or bytes
  // held back by the driver, push the clock forward).
  lineFreeAt_ = std::max(lineFreeAt_, now + LineTime(portBacklogBytes));
  if (entries_.empty() || lineFreeAt_ - now > lead_) return std::nullopt;
  Entry entry = std::move(entries_.front());
  entries_.pop_front();
  lineFreeAt_ = std::max(lineFreeAt_, now) + LineTime(entry.command.bytes.size());
  ++counters_.sent;
  counters_.bytesSent += entry.command.bytes.size();
  if (entry.command.IsPosition()) lastHandOver_[entry.command.channel] = counters_.sent;
  return entry;
}

std::optional<TransmitQueue::Time> TransmitQueue::NextDue(Time now) const {
  if (entries_.empty()) return std::nullopt;
  return std::max(now, lineFreeAt_ - lead_);
}

std::size_t TransmitQueue::DropPositions() {
  const auto before = entries_.size();
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.command.IsPosition(); }),
                 entries_.end());
  const auto dropped = before - entries_.size();
  counters_.stale += dropped;
  return dropped;
}

std::vector<TransmitQueue::Entry> TransmitQueue::Clear() {
  std::vector<Entry> out(std::make_move_iterator(entries_.begin()),
                         std::make_move_iterator(entries_.end()));
  entries_.clear();
  lineFreeAt_ = Time::zero();
  return out;
}

}  // namespace gp
