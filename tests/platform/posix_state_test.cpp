// Line settings, time-outs, queue sizes, properties and line control on a real pty.
#include "platform/posix/TermiosIo.h"
#include "posix_pty.h"
#include "tests/support/ClassicRate.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace quillon_test;

namespace {

DCB Current(HANDLE h) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(h, dcb)) << SysErrorMessage(GetLastError());
    return dcb;
}

bool Same(const DCB& a, const DCB& b) {
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

} // namespace

TEST(PosixState, FreshPortReportsRawTtySettings) {
    Pty pty;
    const ClassicRate before = ClassicRateOf(pty.Slave());
    Handle port(OpenPort(pty.Name()));
    // Opening keeps the rate, as other programs read it too.
    const ClassicRate after = ClassicRateOf(pty.Slave());
    EXPECT_EQ(after.stty, before.stty);
    EXPECT_EQ(after.code, before.code);
    EXPECT_NE(after.code, B0);
    const DCB dcb = Current(port);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fOutX || dcb.fInX || dcb.fParity);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
}

// A rate and the classic code other programs must read for it; 0 for a rate without one.
struct RateRow {
    DWORD rate;
    speed_t code;
};

class PosixStateRate : public testing::TestWithParam<RateRow> {};

TEST_P(PosixStateRate, StandardRatesReadClassicallyAndOddRatesStayExact) {
    const auto [rate, code] = GetParam();
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    DCB dcb = Current(port);
    // From a rate of the other kind, so that each row changes the kind of code written.
    dcb.BaudRate = code ? 250000 : 9600;
    ASSERT_TRUE(SetCommState(port, dcb)) << SysErrorMessage(GetLastError());
    dcb.BaudRate = rate;
    ASSERT_TRUE(SetCommState(port, dcb)) << SysErrorMessage(GetLastError());
    EXPECT_EQ(Current(port).BaudRate, rate);
    posix::TtyImage t;
    ASSERT_EQ(posix::ReadTty(pty.Slave(), t), 0);
    EXPECT_EQ(t.ospeed, rate);
    EXPECT_EQ(t.ispeed, rate);
    if (code) {
        const ClassicRate seen = ClassicRateOf(pty.Slave());
        EXPECT_EQ(seen.code, code);
        EXPECT_EQ(seen.stty, "speed " + std::to_string(rate) + " baud");
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, PosixStateRate,
                         testing::Values(RateRow{9600, B9600}, RateRow{38400, B38400},
                                         RateRow{57600, B57600}, RateRow{115200, B115200},
                                         RateRow{921600, B921600}, RateRow{31250, 0},
                                         RateRow{250000, 0}, RateRow{10400, 0}));

TEST(PosixState, EverythingSetComesBack) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    DCB dcb = Current(port);
    dcb.BaudRate = 250000;
    dcb.ByteSize = 7;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.XonChar = 'Q';
    dcb.XoffChar = 'S';
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\r';
    dcb.fNull = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.XonLim = 1000;
    dcb.XoffLim = 100;
    ASSERT_TRUE(SetCommState(port, dcb)) << SysErrorMessage(GetLastError());
    EXPECT_TRUE(Same(Current(port), dcb));
    dcb.Parity = SPACEPARITY;
    dcb.ByteSize = 5;
    dcb.StopBits = ONE5STOPBITS;
    dcb.fOutX = dcb.fInX = 0;
    ASSERT_TRUE(SetCommState(port, dcb));
    EXPECT_TRUE(Same(Current(port), dcb));
    // What the tty itself holds of it.
    termios t;
    tcgetattr(pty.Slave(), &t);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_cc[VSTART], 'Q');
}

TEST(PosixState, RefusedSettingsLeaveTheDeviceAsItWas) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    DCB dcb = Current(port);
    dcb.BaudRate = 57600;
    ASSERT_TRUE(SetCommState(port, dcb));
    for (auto spoil : {+[](DCB& d) { d.ByteSize = 9; }, +[](DCB& d) { d.BaudRate = 0; },
                       +[](DCB& d) { d.StopBits = ONE5STOPBITS; }}) {
        DCB bad = dcb;
        bad.BaudRate = 1200; // would change too, if the rest were accepted
        spoil(bad);
        EXPECT_FALSE(SetCommState(port, bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(Same(Current(port), dcb));
    }
}

TEST(PosixState, DtrAndRtsChangesConfigureAPtyWithoutModemLines) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    DCB dcb = Current(port);
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    EXPECT_TRUE(SetCommState(port, dcb)) << SysErrorMessage(GetLastError());
    EXPECT_EQ(Current(port).fDtrControl, DTR_CONTROL_DISABLE);
    // Asked explicitly, the missing lines are an error with the system's code.
    EXPECT_FALSE(EscapeCommFunction(port, SETDTR));
    EXPECT_EQ(GetLastError(), DWORD(ENOTTY));
    EXPECT_FALSE(EscapeCommFunction(port, CLRRTS));
    EXPECT_EQ(GetLastError(), DWORD(ENOTTY));
    DWORD status = 0;
    EXPECT_FALSE(GetCommModemStatus(port, &status));
    EXPECT_EQ(GetLastError(), DWORD(ENOTTY));
}

TEST(PosixState, EscapeFunctionsAPtyHas) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    EXPECT_TRUE(SetCommBreak(port));
    EXPECT_TRUE(ClearCommBreak(port));
    EXPECT_FALSE(EscapeCommFunction(port, RESETDEV));
    EXPECT_EQ(GetLastError(), DWORD(ENOTSUP));
    EXPECT_FALSE(EscapeCommFunction(port, 42));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PosixState, XoffStopsOutputUntilXon) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    ASSERT_TRUE(EscapeCommFunction(port, SETXOFF));
    DWORD done = 0;
    Handle ev(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = ev;
    const BOOL atOnce = WriteFile(port, "held", 4, &done, &ov);
    // The tty may take the bytes into its buffer, but none reach the other end.
    pollfd p{pty.Master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0);
    ASSERT_TRUE(EscapeCommFunction(port, SETXON));
    EXPECT_EQ(pty.Drain(4), "held");
    if (!atOnce) {
        ASSERT_TRUE(GetOverlappedResult(port, &ov, &done, TRUE));
    }
    EXPECT_EQ(done, 4u);
}

TEST(PosixState, TimeoutsAndQueueSizesAreKept) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    COMMTIMEOUTS t{MAXDWORD, 2, 3, 4, 5};
    ASSERT_TRUE(SetCommTimeouts(port, t));
    COMMTIMEOUTS back{};
    ASSERT_TRUE(GetCommTimeouts(port, back));
    EXPECT_EQ(std::memcmp(&t, &back, sizeof t), 0);
    ASSERT_TRUE(SetupComm(port, 4096, 2048));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(port, prop));
    EXPECT_EQ(prop.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(prop.dwCurrentTxQueue, 2048u);
}

TEST(PosixState, PropertiesTellWhatAPtyCanDo) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(port, prop));
    EXPECT_EQ(prop.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(prop.dwMaxBaud, BAUD_USER);
    EXPECT_NE(prop.dwSettableBaud & BAUD_USER, 0u);
    EXPECT_NE(prop.dwSettableBaud & BAUD_115200, 0u);
    EXPECT_EQ(prop.dwMaxRxQueue, 0u);
    EXPECT_EQ(prop.wSettableData, DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8);
    EXPECT_EQ(prop.wSettableStopParity & 0x1F00,
              PARITY_NONE | PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE);
    EXPECT_NE(prop.dwProvCapabilities & PCF_TOTALTIMEOUTS, 0u);
    EXPECT_NE(prop.dwProvCapabilities & PCF_XONXOFF, 0u);
    // No modem lines, no DTR/DSR handshake, no special characters.
    EXPECT_EQ(prop.dwProvCapabilities & (PCF_RTSCTS | PCF_RLSD | PCF_DTRDSR | PCF_SPECIALCHARS),
              0u);
}

TEST(PosixState, QueueCountsClearingAndNoLineErrorsOnAPty) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    p.pty.Feed("12345"); // one write: the pty hands it to the tty in one piece
    DWORD events = 0;
    if (!WaitCommEvent(p.port, &events, &p.waitOv)) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    }
    DWORD errors = 1;
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(p.port, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    ASSERT_TRUE(PurgeComm(p.port, PURGE_RXCLEAR | PURGE_TXCLEAR));
    ASSERT_TRUE(ClearCommError(p.port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_FALSE(PurgeComm(p.port, 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
