#pragma once
// What a serial driver counts (TIOCGICOUNT), and the events and errors two readings of
// those counters tell: a line that changed and changed back between the readings still
// moved its counter.
#include "platform/WinApi.h"

#include <cstdint>

namespace qwin::posix {

struct LineCounters {
    uint32_t cts = 0, dsr = 0, dcd = 0, rng = 0; // modem-line transitions; rng: rings ended
    uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

/// EV_CTS, EV_DSR, EV_RLSD, EV_RING, EV_BREAK and EV_ERR (framing, overrun, parity: the
/// line-status errors) for the counters that moved.
DWORD CounterEvents(const LineCounters& was, const LineCounters& now);
/// CE_FRAME, CE_OVERRUN, CE_RXPARITY, CE_BREAK, CE_RXOVER for the counters that moved.
DWORD CounterErrors(const LineCounters& was, const LineCounters& now);

} // namespace qwin::posix
