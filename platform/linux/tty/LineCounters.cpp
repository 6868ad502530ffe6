#include "platform/linux/tty/LineCounters.h"

namespace qwin::posix {

DWORD CounterEvents(const LineCounters& was, const LineCounters& now) {
    DWORD ev = 0;
    if (now.cts != was.cts) ev |= EV_CTS;
    if (now.dsr != was.dsr) ev |= EV_DSR;
    if (now.dcd != was.dcd) ev |= EV_RLSD;
    if (now.rng != was.rng) ev |= EV_RING;
    if (now.brk != was.brk) ev |= EV_BREAK;
    // A full input buffer is no line-status error: it shows in ClearCommError only.
    if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity)
        ev |= EV_ERR;
    return ev;
}

DWORD CounterErrors(const LineCounters& was, const LineCounters& now) {
    DWORD ce = 0;
    if (now.frame != was.frame) ce |= CE_FRAME;
    if (now.overrun != was.overrun) ce |= CE_OVERRUN;
    if (now.parity != was.parity) ce |= CE_RXPARITY;
    if (now.brk != was.brk) ce |= CE_BREAK;
    if (now.bufOverrun != was.bufOverrun) ce |= CE_RXOVER;
    return ce;
}

} // namespace qwin::posix
