#pragma once
// The rate a tty really runs at, whatever way it was set.

/// The output speed of the tty open at fd, in bits per second (0 when it cannot be read).
unsigned TtyOutputSpeed(int fd);
