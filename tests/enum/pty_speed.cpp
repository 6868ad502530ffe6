// Kept apart: the kernel's termios2 header clashes with the C library's <termios.h>.
#include "pty_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

unsigned TtyOutputSpeed(int fd) {
    struct termios2 t {};
    return ::ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}
