// glibc's <termios.h> and the kernel's <asm/termbits.h> both define struct termios, so
// they cannot meet in one file. termios2 (with BOTHER: a rate as a number) exists only
// in the kernel header, and glibc's cfsetspeed refuses rates such as 31250 or 250000;
// this file alone includes the kernel header, and trades in TtyImage.
#include "platform/posix/TermiosIo.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace qwin::posix {

static_assert(sizeof(TtyImage::cc) == NCCS, "TtyImage mirrors termios2");

int ReadTty(int fd, TtyImage& t) {
    termios2 k;
    if (ioctl(fd, TCGETS2, &k) != 0) return errno;
    t.iflag = k.c_iflag;
    t.oflag = k.c_oflag;
    t.cflag = k.c_cflag;
    t.lflag = k.c_lflag;
    t.line = k.c_line;
    std::memcpy(t.cc, k.c_cc, sizeof t.cc);
    t.ispeed = k.c_ispeed;
    t.ospeed = k.c_ospeed;
    return 0;
}

int WriteTty(int fd, const TtyImage& t) {
    termios2 k{};
    k.c_iflag = t.iflag;
    k.c_oflag = t.oflag;
    // Both directions at the same rate, given as a number.
    k.c_cflag = (t.cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER;
    k.c_lflag = t.lflag;
    k.c_line = t.line;
    std::memcpy(k.c_cc, t.cc, sizeof t.cc);
    k.c_ispeed = t.ispeed;
    k.c_ospeed = t.ospeed;
    return ioctl(fd, TCSETS2, &k) == 0 ? 0 : errno;
}

int ReadLineCounters(int fd, LineCounters& c) {
    serial_icounter_struct k{};
    if (ioctl(fd, TIOCGICOUNT, &k) != 0) return errno;
    c.frame = static_cast<uint32_t>(k.frame);
    c.overrun = static_cast<uint32_t>(k.overrun);
    c.parity = static_cast<uint32_t>(k.parity);
    c.brk = static_cast<uint32_t>(k.brk);
    c.bufOverrun = static_cast<uint32_t>(k.buf_overrun);
    return 0;
}

} // namespace qwin::posix
