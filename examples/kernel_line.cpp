// Rates outside the classic table only show through termios2, whose kernel header clashes
// with the C library's termios: this file includes the kernel's alone.
#include "kernel_line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

bool ReadKernelLine(int fd, TKernelLine& line) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    line.Speed = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        line.DataBits = 5;
        break;
    case CS6:
        line.DataBits = 6;
        break;
    case CS7:
        line.DataBits = 7;
        break;
    default:
        line.DataBits = 8;
        break;
    }
    line.Parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    line.StopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    line.Raw = !(t.c_lflag & ICANON);
    return true;
}
