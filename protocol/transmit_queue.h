#pragma once
// The transmit queue between the panel and the serial line.
//
// The gait produces far more bytes than a 9600-baud line carries. Written
// straight to the port, the surplus piles up in the driver's buffers and the
// robot falls ever further behind the panel. The queue instead holds every
// command until the line is ready for it and hands whole commands over no
// faster than the line carries them, keeping the port only a little ahead
// (the lead) so the line never idles while work waits.
//
// Rules, applied as commands arrive:
//  - A position for a channel that already has one waiting replaces the
//    waiting one's bytes in the same place in the queue: only the newest
//    position of a channel is worth sending.
//  - Unless a control command (anything without a channel: "SO", "SC", "SF",
//    enable and disable) was queued after the waiting position: then the
//    waiting one is dropped and the new one goes to the end, so a position
//    never moves in front of a control command that was given before it.
//  - Control commands are never dropped or reordered.
//  - Positions of different channels keep no order among themselves (the
//    first rule already lets a newer position keep an older one's place).
//    A channel that gets a position while it has none waiting joins the
//    positions behind the last control command in its turn: after the
//    channels that have waited longer since their last hand-over. Otherwise
//    a gait tick, always written in module order, would let the low channels
//    overtake the high ones whenever two went out between two ticks.
// So each channel has at most one position waiting, every channel gets the
// same share of the line, and what reaches the line is the program's stream
// with stale positions left out.
//
// The queue has no clock of its own: every call is told the time, which makes
// it deterministic under test. Plain standard C++.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "protocol/line.h"
#include "protocol/protocol.h"

namespace gp {

class TransmitQueue {
 public:
  // A reading of a monotonic clock, from any fixed origin.
  using Time = std::chrono::nanoseconds;

  struct Entry {
    ServoCommand command;
    Time queuedAt{};  // when the bytes now held were handed in
  };

  enum class Placement { Appended, ReplacedInPlace, DroppedAndAppended };

  struct Counters {
    std::uint64_t sent = 0;        // commands handed to the port
    std::uint64_t stale = 0;       // positions superseded before they were sent
    std::uint64_t bytesSent = 0;   // bytes handed to the port
    std::size_t largestQueue = 0;  // most commands waiting at once
  };

  // The port may run this far ahead of the line before the next command is
  // handed over: one position command, so at most about two are in flight.
  static constexpr std::size_t kLeadBytes = 11;

  explicit TransmitQueue(int baudRate = line::kBaudRate, std::size_t leadBytes = kLeadBytes);

  // Takes one whole command in program order.
  Placement Push(ServoCommand command, Time now);

  // The next command the line is ready for at `now`, counted as sent, or
  // nothing when the queue is empty or the line still has more than the lead
  // to carry. portBacklogBytes is what the port itself reports as not yet
  // transmitted; the line is never taken to be emptier than that.
  std::optional<Entry> Take(Time now, std::size_t portBacklogBytes = 0);

  // When Take will next give a command (now, if it would at once); nothing
  // while the queue is empty.
  std::optional<Time> NextDue(Time now) const;

  // When the line will have carried every byte handed over so far.
  Time LineIdleAt() const { return lineFreeAt_; }
  bool LineIdle(Time now) const { return lineFreeAt_ <= now; }

  // Time on the line for the given number of bytes, rounded up.
  Time LineTime(std::size_t bytes) const;

  // Drops every position waiting (counted as stale) and keeps the control
  // commands in their order; returns how many were dropped.
  std::size_t DropPositions();

  // Empties the queue (the port is gone, or closing ran out of time) and
  // returns what was waiting; the line clock is reset.
  std::vector<Entry> Clear();

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const std::deque<Entry>& entries() const { return entries_; }
  const Counters& counters() const { return counters_; }

 private:
  int baudRate_;
  Time lead_;
  std::deque<Entry> entries_;
  std::map<int, std::uint64_t> lastHandOver_;  // channel -> hand-over number
  Time lineFreeAt_{};
  Counters counters_;
};

}  // namespace gp
