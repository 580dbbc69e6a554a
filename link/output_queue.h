#pragma once
// How much a serial device still holds for the line: the one question the
// link asks a device about what it has taken.

#include <QtGlobal>
#include <cstddef>
#include <optional>

namespace gp {

// The bytes the device's driver holds that have not yet gone out on the
// line, or nothing when the device cannot tell. A UART or a USB or Bluetooth
// serial adapter reports its real backlog (TIOCOUTQ); a pseudo-terminal (the
// virtual controller, or the near end of a network bridge made with socat)
// always answers 0 whatever its buffer holds, so it counts as one that
// cannot tell. `handle` is the open device's descriptor. On Windows the same
// figure is COMSTAT.cbOutQue, as ClearCommError fills it in.
std::optional<std::size_t> OutputQueueBytes(qintptr handle);

}  // namespace gp
