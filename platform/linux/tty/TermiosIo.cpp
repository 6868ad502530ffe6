// glibc's <termios.h> and the kernel's <asm/termbits.h> both define struct termios, so
// they cannot meet in one file. termios2 (with BOTHER: a rate as a number) exists only
// in the kernel header, and glibc's cfsetspeed refuses rates such as 31250 or 250000;
// this file alone includes the kernel header, and trades in TtyImage.
#include "platform/linux/tty/TermiosIo.h"

#include "platform/linux/tty/LineIoctl.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace qwin::posix {

static_assert(sizeof(TtyImage::cc) == NCCS, "TtyImage mirrors termios2");

namespace {

// Programs that read the rate the classic way (cfgetospeed, stty) see only these codes:
// BOTHER reads as B0 to them, which means hang-up.
constexpr struct {
    uint32_t rate;
    tcflag_t code;
} kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t RateCode(uint32_t rate) {
    for (const auto& r : kStandardRates)
        if (r.rate == rate) return r.code;
    return BOTHER;
}

} // namespace

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
    // Both directions at the output rate (input bits 0): its standard code when it has
    // one, else BOTHER with the rate as a number.
    k.c_cflag = (t.cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | RateCode(t.ospeed);
    k.c_lflag = t.lflag;
    k.c_line = t.line;
    std::memcpy(k.c_cc, t.cc, sizeof t.cc);
    k.c_ispeed = t.ispeed;
    k.c_ospeed = t.ospeed;
    return ioctl(fd, TCSETS2, &k) == 0 ? 0 : errno;
}

int ReadLineCounters(int fd, LineCounters& c) {
    serial_icounter_struct k{};
    if (LineIoctl(fd, TIOCGICOUNT, &k) != 0) return errno;
    c.cts = static_cast<uint32_t>(k.cts);
    c.dsr = static_cast<uint32_t>(k.dsr);
    c.dcd = static_cast<uint32_t>(k.dcd);
    c.rng = static_cast<uint32_t>(k.rng);
    c.frame = static_cast<uint32_t>(k.frame);
    c.overrun = static_cast<uint32_t>(k.overrun);
    c.parity = static_cast<uint32_t>(k.parity);
    c.brk = static_cast<uint32_t>(k.brk);
    c.bufOverrun = static_cast<uint32_t>(k.buf_overrun);
    return 0;
}

int SetLowLatency(int fd, bool on) {
    serial_struct s{};
    if (LineIoctl(fd, TIOCGSERIAL, &s) != 0) return errno;
    const bool was = (s.flags & ASYNC_LOW_LATENCY) != 0;
    if (was == on) return 0;
    s.flags = on ? (s.flags | ASYNC_LOW_LATENCY) : (s.flags & ~ASYNC_LOW_LATENCY);
    if (LineIoctl(fd, TIOCSSERIAL, &s) != 0) return errno;
    // Some drivers accept the call and ignore the flag: only what reads back counts.
    if (LineIoctl(fd, TIOCGSERIAL, &s) != 0) return errno;
    return ((s.flags & ASYNC_LOW_LATENCY) != 0) == on ? 0 : EOPNOTSUPP;
}

} // namespace qwin::posix
