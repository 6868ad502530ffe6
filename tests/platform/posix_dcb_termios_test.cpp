// DCB <-> termios conversions as data rows: what goes in comes back, what no tty can do
// is refused, what termios cannot hold is left alone.
#include "platform/linux/tty/DcbTermios.h"

#include <cstring>
#include <gtest/gtest.h>
#include <termios.h>
#include <tuple>

using namespace qwin;
using namespace qwin::posix;

namespace {

DCB Base() {
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = 9600;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.ByteSize = 8;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

TtyImage RawImage() {
    TtyImage t;
    t.iflag = ICRNL | IXON | ISTRIP | PARMRK | BRKINT;
    t.oflag = OPOST | ONLCR;
    t.lflag = ECHO | ICANON | ISIG | IEXTEN;
    t.cflag = CS7 | PARENB | HUPCL;
    t.cc[VMIN] = 1;
    t.cc[VTIME] = 5;
    MakeRaw(t);
    return t;
}

// Sets dcb on a raw image and reads it back into a zeroed DCB (nothing kept).
DCB RoundTrip(const DCB& dcb, TtyImage* out = nullptr) {
    TtyImage t = RawImage();
    EXPECT_EQ(DcbToTty(dcb, t), 0);
    DCB back = dcb;
    TtyToDcb(t, back);
    if (out) *out = t;
    return back;
}

bool SameDcb(const DCB& a, const DCB& b) {
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

} // namespace

TEST(PosixRawMode, LeavesNothingThatAltersBytes) {
    const TtyImage t = RawImage();
    EXPECT_EQ(t.iflag & (ICRNL | IXON | IXOFF | ISTRIP | PARMRK | BRKINT | INPCK), 0u);
    EXPECT_EQ(t.oflag & OPOST, 0u);
    EXPECT_EQ(t.lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.cflag & (CSIZE | PARENB), unsigned(CS8));
    EXPECT_EQ(t.cflag & (CLOCAL | CREAD), unsigned(CLOCAL | CREAD));
    EXPECT_EQ(t.cflag & HUPCL, unsigned(HUPCL)); // not raw mode's business
    EXPECT_EQ(t.cc[VMIN], 0);
    EXPECT_EQ(t.cc[VTIME], 0);
}

class PosixRate : public testing::TestWithParam<DWORD> {};

TEST_P(PosixRate, AnyRateGoesBothWaysAsANumber) {
    DCB d = Base();
    d.BaudRate = GetParam();
    TtyImage t;
    EXPECT_TRUE(SameDcb(RoundTrip(d, &t), d));
    EXPECT_EQ(t.ospeed, GetParam());
    EXPECT_EQ(t.ispeed, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rates, PosixRate,
                         testing::Values(50, 75, 110, 134, 150, 300, 600, 1200, 1800, 2000, 2400,
                                         3600, 4800, 7200, 9600, 10400, 14400, 15625, 19200, 28800,
                                         31250, 38400, 56000, 57600, 115200, 128000, 230400, 250000,
                                         256000, 460800, 921600, 1000000, 3000000));

using Framing = std::tuple<int, int, int>; // byte size, parity, stop bits

class PosixFraming : public testing::TestWithParam<Framing> {};

TEST_P(PosixFraming, ExpressibleFramingRoundTrips) {
    auto [size, parity, stop] = GetParam();
    DCB d = Base();
    d.ByteSize = BYTE(size);
    d.Parity = BYTE(parity);
    d.StopBits = BYTE(stop);
    TtyImage t = RawImage();
    const bool valid = stop == ONESTOPBIT || (stop == ONE5STOPBITS) == (size == 5);
    ASSERT_EQ(DcbToTty(d, t), valid ? 0 : EINVAL);
    if (!valid) return;
    const uint32_t sizes[] = {CS5, CS6, CS7, CS8};
    EXPECT_EQ(t.cflag & CSIZE, sizes[size - 5]);
    EXPECT_EQ((t.cflag & PARENB) != 0, parity != NOPARITY);
    EXPECT_EQ((t.cflag & CMSPAR) != 0, parity == MARKPARITY || parity == SPACEPARITY);
    EXPECT_EQ((t.cflag & PARODD) != 0, parity == ODDPARITY || parity == MARKPARITY);
    EXPECT_EQ((t.cflag & CSTOPB) != 0, stop != ONESTOPBIT);
    DCB back = Base();
    TtyToDcb(t, back);
    EXPECT_EQ(back.ByteSize, size);
    EXPECT_EQ(back.Parity, parity);
    EXPECT_EQ(back.StopBits, stop);
}

INSTANTIATE_TEST_SUITE_P(AllCombinations, PosixFraming,
                         testing::Combine(testing::Values(5, 6, 7, 8),
                                          testing::Values(NOPARITY, ODDPARITY, EVENPARITY,
                                                          MARKPARITY, SPACEPARITY),
                                          testing::Values(ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS)));

struct FlowRow {
    const char* name;
    bool ctsOut;
    DWORD rts;
    bool outX, inX;
    uint32_t cflag; // CRTSCTS or 0
    uint32_t iflag; // IXON / IXOFF
};

class PosixFlow : public testing::TestWithParam<FlowRow> {};

TEST_P(PosixFlow, FlowControlMapsAndComesBackAsSet) {
    const FlowRow& r = GetParam();
    DCB d = Base();
    d.fOutxCtsFlow = r.ctsOut;
    d.fRtsControl = r.rts;
    d.fOutX = r.outX;
    d.fInX = r.inX;
    TtyImage t;
    EXPECT_TRUE(SameDcb(RoundTrip(d, &t), d));
    EXPECT_EQ(t.cflag & CRTSCTS, r.cflag);
    EXPECT_EQ(t.iflag & (IXON | IXOFF | IXANY), r.iflag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixFlow,
    testing::Values(FlowRow{"none", false, RTS_CONTROL_ENABLE, false, false, 0, 0},
                    FlowRow{"rtscts", true, RTS_CONTROL_HANDSHAKE, false, false, CRTSCTS, 0},
                    FlowRow{"ctsOnly", true, RTS_CONTROL_ENABLE, false, false, CRTSCTS, 0},
                    FlowRow{"rtsOnly", false, RTS_CONTROL_HANDSHAKE, false, false, CRTSCTS, 0},
                    FlowRow{"toggle", false, RTS_CONTROL_TOGGLE, false, false, 0, 0},
                    FlowRow{"xonOut", false, RTS_CONTROL_ENABLE, true, false, 0, IXON},
                    FlowRow{"xonIn", false, RTS_CONTROL_ENABLE, false, true, 0, IXOFF},
                    FlowRow{"xonBoth", false, RTS_CONTROL_DISABLE, true, true, 0, IXON | IXOFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PosixFlow, CrtsctsFromTheDeviceReadsAsBothHalves) {
    TtyImage t = RawImage();
    t.cflag |= CRTSCTS;
    DCB d = Base();
    TtyToDcb(t, d);
    EXPECT_TRUE(d.fOutxCtsFlow);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_HANDSHAKE);
    t.cflag &= ~CRTSCTS;
    TtyToDcb(t, d);
    EXPECT_FALSE(d.fOutxCtsFlow);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_ENABLE);
}

TEST(PosixDcbChars, XonXoffCharactersAndParityCheck) {
    DCB d = Base();
    d.XonChar = 'Q';
    d.XoffChar = 'S';
    d.fParity = 1;
    TtyImage t;
    EXPECT_TRUE(SameDcb(RoundTrip(d, &t), d));
    EXPECT_EQ(t.cc[VSTART], 'Q');
    EXPECT_EQ(t.cc[VSTOP], 'S');
    EXPECT_NE(t.iflag & INPCK, 0u);
}

// Members termios cannot express come back from the DCB they were kept in.
TEST(PosixDcbKept, UnexpressibleMembersSurvive) {
    DCB d = Base();
    d.fOutxDsrFlow = 1;
    d.fDsrSensitivity = 1;
    d.fDtrControl = DTR_CONTROL_HANDSHAKE;
    d.fTXContinueOnXoff = 0;
    d.fErrorChar = 1;
    d.ErrorChar = '?';
    d.fNull = 1;
    d.fAbortOnError = 1;
    d.XonLim = 2048;
    d.XoffLim = 512;
    d.EofChar = 0x1A;
    d.EvtChar = '\r';
    d.wReserved = 7;
    d.wReserved1 = 9;
    EXPECT_TRUE(SameDcb(RoundTrip(d), d));
}

TEST(PosixDcbKept, ReadBackOverwritesOnlyWhatTheTtyHolds) {
    TtyImage t = RawImage();
    DCB set = Base();
    set.BaudRate = 31250;
    set.ByteSize = 7;
    set.Parity = EVENPARITY;
    ASSERT_EQ(DcbToTty(set, t), 0);
    DCB stale = Base(); // what the device object kept before someone changed the tty
    stale.ErrorChar = 'E';
    TtyToDcb(t, stale);
    EXPECT_EQ(stale.BaudRate, 31250u);
    EXPECT_EQ(stale.ByteSize, 7);
    EXPECT_EQ(stale.Parity, EVENPARITY);
    EXPECT_EQ(stale.ErrorChar, 'E');
}

struct BadRow {
    const char* name;
    void (*spoil)(DCB&);
};

class PosixDcbRefused : public testing::TestWithParam<BadRow> {};

TEST_P(PosixDcbRefused, RefusedWithoutTouchingTheImage) {
    DCB d = Base();
    GetParam().spoil(d);
    TtyImage t = RawImage();
    const TtyImage before = t;
    EXPECT_EQ(DcbToTty(d, t), EINVAL);
    EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, PosixDcbRefused,
                         testing::Values(BadRow{"zeroRate", [](DCB& d) { d.BaudRate = 0; }},
                                         BadRow{"fourBits", [](DCB& d) { d.ByteSize = 4; }},
                                         BadRow{"nineBits", [](DCB& d) { d.ByteSize = 9; }},
                                         BadRow{"sixteenBits", [](DCB& d) { d.ByteSize = 16; }},
                                         BadRow{"parity5", [](DCB& d) { d.Parity = 5; }},
                                         BadRow{"stopBits3", [](DCB& d) { d.StopBits = 3; }},
                                         BadRow{"oneAndHalfWithEight",
                                                [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
                                         BadRow{"twoWithFive",
                                                [](DCB& d) {
                                                    d.ByteSize = 5;
                                                    d.StopBits = TWOSTOPBITS;
                                                }},
                                         BadRow{"dtrControl3", [](DCB& d) { d.fDtrControl = 3; }},
                                         BadRow{"sameXonXoff",
                                                [](DCB& d) {
                                                    d.fOutX = 1;
                                                    d.XoffChar = d.XonChar;
                                                }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PosixDcbRefused, SameXonXoffIsFineWithoutSoftwareFlow) {
    DCB d = Base();
    d.XonChar = d.XoffChar = 0;
    TtyImage t = RawImage();
    EXPECT_EQ(DcbToTty(d, t), 0);
}

TEST(PosixCheckTaken, AcceptsWhatWasAskedAndCloseRates) {
    TtyImage asked = RawImage();
    asked.cflag |= CSTOPB | CRTSCTS;
    asked.ispeed = asked.ospeed = 250000;
    TtyImage taken = asked;
    EXPECT_EQ(CheckTaken(asked, taken), 0);
    taken.ispeed = taken.ospeed = 250000 * 102 / 100; // a divisor's rounding
    EXPECT_EQ(CheckTaken(asked, taken), 0);
}

TEST(PosixCheckTaken, RefusesSubstitutedRateOrFraming) {
    TtyImage asked = RawImage();
    asked.ispeed = asked.ospeed = 31250;
    TtyImage taken = asked;
    taken.ispeed = taken.ospeed = 9600; // a driver falling back to its default
    EXPECT_EQ(CheckTaken(asked, taken), EINVAL);
    taken = asked;
    taken.ospeed = 38400;
    EXPECT_EQ(CheckTaken(asked, taken), EINVAL);
    taken = asked;
    taken.cflag = (taken.cflag & ~CSIZE) | CS7;
    EXPECT_EQ(CheckTaken(asked, taken), EINVAL);
    taken = asked;
    taken.cflag |= CMSPAR;
    EXPECT_EQ(CheckTaken(asked, taken), EINVAL);
}

TEST(PosixKeepFraming, PtyReadsBackTheFramingAskedOfIt) {
    TtyImage asked = RawImage();
    DCB d = Base();
    d.ByteSize = 7;
    d.Parity = MARKPARITY;
    ASSERT_EQ(DcbToTty(d, asked), 0);
    TtyImage forced = asked; // what a pty's driver leaves: 8 bits, no parity
    forced.cflag = (forced.cflag & ~(CSIZE | PARENB)) | CS8;
    KeepFraming(asked, forced);
    DCB back = Base();
    TtyToDcb(forced, back);
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, MARKPARITY);
}

TEST(PosixIdleLines, DtrAndRtsLevelsPerControlMode) {
    DCB d = Base();
    const std::tuple<DWORD, DWORD, bool, bool> rows[] = {
        {DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, false, false},
        {DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, true, true},
        {DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, true, true},
        {DTR_CONTROL_ENABLE, RTS_CONTROL_TOGGLE, true, false},
    };
    for (auto [dtr, rts, dtrOn, rtsOn] : rows) {
        d.fDtrControl = dtr;
        d.fRtsControl = rts;
        EXPECT_EQ(IdleLines(d).dtr, dtrOn) << dtr;
        EXPECT_EQ(IdleLines(d).rts, rtsOn) << rts;
    }
}
