#include "platform/linux/tty/DcbTermios.h"

#include <cerrno>
#include <cstdlib>
#include <termios.h>

namespace qwin::posix {

static_assert(VSTART < 19 && VSTOP < 19 && VMIN < 19 && VTIME < 19,
              "control characters must fit termios2's array");

namespace {

constexpr uint32_t FramingBits = CSIZE | PARENB | PARODD | CMSPAR;

uint32_t SizeBits(BYTE size) {
    switch (size) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

BYTE SizeOf(uint32_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

void SetBit(uint32_t& flags, uint32_t bit, bool on) {
    flags = on ? (flags | bit) : (flags & ~bit);
}

} // namespace

void MakeRaw(TtyImage& t) {
    t.iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                 INPCK | IUCLC | IMAXBEL);
    t.oflag &= ~OPOST;
    t.lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR);
    t.cflag |= CS8 | CLOCAL | CREAD;
    t.cc[VMIN] = 0;
    t.cc[VTIME] = 0;
}

int DcbToTty(const DCB& dcb, TtyImage& t) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS || dcb.fDtrControl > DTR_CONTROL_HANDSHAKE)
        return EINVAL;
    if ((dcb.StopBits == ONE5STOPBITS) != (dcb.ByteSize == 5 && dcb.StopBits != ONESTOPBIT))
        return EINVAL;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return EINVAL;

    t.ispeed = t.ospeed = dcb.BaudRate;
    t.cflag = (t.cflag & ~(FramingBits | CSTOPB | CRTSCTS)) | SizeBits(dcb.ByteSize);
    switch (dcb.Parity) {
    case ODDPARITY:
        t.cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        t.cflag |= PARENB;
        break;
    case MARKPARITY:
        t.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        t.cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // With 5 data bits a UART sends 1.5 stop bits for CSTOPB.
    SetBit(t.cflag, CSTOPB, dcb.StopBits != ONESTOPBIT);
    // One flag covers both directions of hardware handshake.
    SetBit(t.cflag, CRTSCTS, dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE);
    SetBit(t.iflag, INPCK, dcb.fParity);
    SetBit(t.iflag, IXON, dcb.fOutX);
    SetBit(t.iflag, IXOFF, dcb.fInX);
    t.iflag &= ~IXANY;
    t.cc[VSTART] = static_cast<uint8_t>(dcb.XonChar);
    t.cc[VSTOP] = static_cast<uint8_t>(dcb.XoffChar);
    return 0;
}

void TtyToDcb(const TtyImage& t, DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = t.ospeed;
    dcb.ByteSize = SizeOf(t.cflag);
    if (!(t.cflag & PARENB))
        dcb.Parity = NOPARITY;
    else if (t.cflag & CMSPAR)
        dcb.Parity = (t.cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (t.cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (!(t.cflag & CSTOPB))
        dcb.StopBits = ONESTOPBIT;
    else
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    // CRTSCTS stands for CTS output flow and RTS handshake at once: a DCB that already
    // agrees with it keeps which of the two it asked for.
    const bool hardware = t.cflag & CRTSCTS;
    if (hardware != (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)) {
        dcb.fOutxCtsFlow = hardware;
        if (hardware)
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    dcb.fParity = (t.iflag & INPCK) != 0;
    dcb.fOutX = (t.iflag & IXON) != 0;
    dcb.fInX = (t.iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(t.cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.cc[VSTOP]);
}

int CheckTaken(const TtyImage& asked, const TtyImage& taken) {
    constexpr uint32_t checked = FramingBits | CSTOPB | CRTSCTS;
    if ((asked.cflag & checked) != (taken.cflag & checked)) return EINVAL;
    const auto off = [](uint32_t want, uint32_t got) {
        return std::llabs(static_cast<long long>(got) - want) * 100 > 3LL * want;
    };
    return off(asked.ospeed, taken.ospeed) || off(asked.ispeed, taken.ispeed) ? EINVAL : 0;
}

void KeepFraming(const TtyImage& from, TtyImage& t) {
    t.cflag = (t.cflag & ~FramingBits) | (from.cflag & FramingBits);
}

ModemLines IdleLines(const DCB& dcb) {
    return {dcb.fDtrControl != DTR_CONTROL_DISABLE,
            dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE};
}

} // namespace qwin::posix
