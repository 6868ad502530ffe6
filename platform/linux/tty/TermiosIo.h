#pragma once
// The few kernel calls that need the kernel's own tty headers.
#include "platform/linux/tty/DcbTermios.h"
#include "platform/linux/tty/LineCounters.h"

namespace qwin::posix {

/// Reads a tty's settings (TCGETS2): 0 or errno.
int ReadTty(int fd, TtyImage& t);
/// Applies them at once (TCSETS2): a standard rate by its Bnnn code, any other through
/// BOTHER, so classic readers see the standard ones and any rate reaches the driver.
int WriteTty(int fd, const TtyImage& t);

/// The driver's counters (TIOCGICOUNT): 0 or errno; drivers that keep none (a pty)
/// answer ENOTTY or EINVAL.
int ReadLineCounters(int fd, LineCounters& c);
/// Sets or clears the driver's low-latency flag (TIOCGSERIAL, TIOCSSERIAL) and reads it
/// back: 0, or errno (ENOTTY and EINVAL where the driver has none; EOPNOTSUPP when it keeps
/// the flag unchanged).
int SetLowLatency(int fd, bool on);

} // namespace qwin::posix
