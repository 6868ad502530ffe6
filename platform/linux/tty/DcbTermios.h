#pragma once
// DCB <-> termios as pure data conversions: no device, no system call. The tty image
// mirrors the kernel's termios2 (flags with <termios.h> values, any rate as a number), so
// this file never sees the kernel headers that TermiosIo.cpp needs.
#include "platform/WinApi.h"

#include <cstdint>

namespace qwin::posix {

/// A tty's settings as termios2 holds them; the rate bits of cflag are ignored here.
struct TtyImage {
    uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    uint8_t line = 0;
    uint8_t cc[19] = {};
    uint32_t ispeed = 0, ospeed = 0;
};

/// Raw mode: no echo, signals, translation or software flow control, 8 bits without
/// parity, receiver on, modem lines ignored for opening, reads return what is there.
void MakeRaw(TtyImage& t);

/// Overlays what termios can express of dcb on t. 0, or EINVAL for what no tty can do:
/// a rate of 0, a byte size outside 5-8, an unknown parity, stop-bit or DTR code, 1.5
/// stop bits without 5 data bits or 2 with 5, equal XON and XOFF while XON/XOFF is on.
int DcbToTty(const DCB& dcb, TtyImage& t);

/// Reads t back into dcb; members termios cannot express keep dcb's values.
void TtyToDcb(const TtyImage& t, DCB& dcb);

/// 0 when the driver took the framing and rate asked for (within 3 %), else EINVAL.
int CheckTaken(const TtyImage& asked, const TtyImage& taken);

/// Copies the byte size and parity bits of from into t: a pty forces 8 bits without
/// parity, and what was asked of it is what its reader should see.
void KeepFraming(const TtyImage& from, TtyImage& t);

/// The DTR and RTS levels a DCB asks for while the line is idle.
struct ModemLines {
    bool dtr, rts;
};
ModemLines IdleLines(const DCB& dcb);

} // namespace qwin::posix
