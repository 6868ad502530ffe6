#pragma once
// The ioctls by which a serial driver shows its line: modem lines (TIOCMGET, TIOCMSET,
// TIOCMBIS, TIOCMBIC), their changes (TIOCMIWAIT), its counters (TIOCGICOUNT), its
// transmitter (TIOCSERGETLSR) and its port flags (TIOCGSERIAL, TIOCSSERIAL). They go through this
// one seam, so a test can put a model of a serial driver behind a pty and the device code above it
// runs unchanged.
namespace qwin::posix {

/// Answers one such request as ioctl(2) does: 0 or -1 with errno.
using TLineDriver = int (*)(int fd, unsigned long request, void* arg);

/// The installed driver model, which passes on what it does not model; else ioctl(2).
int LineIoctl(int fd, unsigned long request, void* arg);
/// Installs a driver model for the whole process, or removes it (nullptr).
void SetLineDriver(TLineDriver driver);

} // namespace qwin::posix
