#pragma once
// The few kernel calls that need the kernel's own tty headers.
#include "platform/linux/tty/DcbTermios.h"

#include <cstdint>

namespace qwin::posix {

/// Reads a tty's settings (TCGETS2): 0 or errno.
int ReadTty(int fd, TtyImage& t);
/// Applies them at once (TCSETS2): a standard rate by its Bnnn code, any other through
/// BOTHER, so classic readers see the standard ones and any rate reaches the driver.
int WriteTty(int fd, const TtyImage& t);

/// The driver's line-event counters (TIOCGICOUNT).
struct LineCounters {
    uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
/// 0 or errno; drivers that keep none (a pty) answer ENOTTY or EINVAL.
int ReadLineCounters(int fd, LineCounters& c);

} // namespace qwin::posix
