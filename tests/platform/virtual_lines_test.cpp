// Modem lines wired across a virtual pair, ring, break and the flow-control holds.
#include "tests/platform/virtual_fixture.h"

namespace qvirt::test {
namespace {

using VirtualLines = VirtualPairTest;

// Starts an overlapped wait that must still be pending.
void StartWait(HANDLE h, DWORD mask, TAsync& wait) {
    ASSERT_TRUE(SetCommMask(h, mask));
    EXPECT_FAILS_WITH(WaitCommEvent(h, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Done());
}

TEST_F(VirtualLines, RtsDrivesThePeersCts) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    EXPECT_EQ(ModemStatus(a), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    TAsync& wait = NewAsync();
    StartWait(a, EV_CTS | EV_DSR | EV_RLSD, wait);

    ASSERT_TRUE(EscapeCommFunction(b, CLRRTS));
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_CTS);
    EXPECT_EQ(ModemStatus(a), MS_DSR_ON | MS_RLSD_ON);
    EXPECT_FALSE(Pair.B().Lines().Rts);

    StartWait(a, EV_CTS, wait);
    ASSERT_TRUE(EscapeCommFunction(b, SETRTS));
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_CTS);
    EXPECT_TRUE(ModemStatus(a) & MS_CTS_ON);
}

TEST_F(VirtualLines, DtrDrivesThePeersDsrAndCarrier) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    TAsync& wait = NewAsync();
    StartWait(a, EV_CTS | EV_DSR | EV_RLSD, wait);

    ASSERT_TRUE(EscapeCommFunction(b, CLRDTR));
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_DSR | EV_RLSD);
    EXPECT_EQ(ModemStatus(a), MS_CTS_ON);
}

TEST_F(VirtualLines, OpeningAndClosingThePeerMovesItsLines) {
    const HANDLE a = Open(Pair.A());
    EXPECT_EQ(ModemStatus(a), 0u);
    TAsync& wait = NewAsync();
    StartWait(a, EV_CTS | EV_DSR | EV_RLSD, wait);

    const HANDLE b = Open(Pair.B());
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_CTS | EV_DSR | EV_RLSD);

    StartWait(a, EV_CTS | EV_DSR | EV_RLSD, wait);
    ASSERT_TRUE(CloseHandle(b));
    Forget(b);
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_CTS | EV_DSR | EV_RLSD);
    EXPECT_EQ(ModemStatus(a), 0u);
}

TEST_F(VirtualLines, DcbModesSetTheLines) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(b, [](DCB& d) {
        d.fDtrControl = DTR_CONTROL_DISABLE;
        d.fRtsControl = RTS_CONTROL_DISABLE;
    });
    EXPECT_EQ(ModemStatus(a), 0u);
    EXPECT_EQ(Pair.B().Lines(), (TLineState{false, false, false}));
    SetState(b, [](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; });
    EXPECT_EQ(ModemStatus(a), MS_CTS_ON);
}

TEST_F(VirtualLines, HandshakeModesOwnTheirLine) {
    const HANDLE a = Open(Pair.A());
    SetState(a, [](DCB& d) {
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
        d.fDtrControl = DTR_CONTROL_HANDSHAKE;
    });
    EXPECT_FAILS_WITH(EscapeCommFunction(a, CLRRTS), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETDTR), ERROR_INVALID_PARAMETER);
    SetState(a, [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; });
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETRTS), ERROR_INVALID_PARAMETER);
}

TEST_F(VirtualLines, RtsHandshakeFollowsTheInputQueue) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 8, 0));
    SetState(b, [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; });
    EXPECT_TRUE(ModemStatus(a) & MS_CTS_ON);

    Send(a, "1234567"); // above three quarters of 8
    EXPECT_FALSE(ModemStatus(a) & MS_CTS_ON);
    char buf[4];
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(b, buf, 3, &done, nullptr)); // 4 left: not yet below half
    EXPECT_FALSE(ModemStatus(a) & MS_CTS_ON);
    ASSERT_TRUE(ReadFile(b, buf, 1, &done, nullptr));
    EXPECT_TRUE(ModemStatus(a) & MS_CTS_ON);
}

TEST_F(VirtualLines, CtsFlowHoldsOutputUntilThePeerRaisesRts) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(a, [](DCB& d) { d.fOutxCtsFlow = 1; });
    ASSERT_TRUE(EscapeCommFunction(b, CLRRTS));

    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "xyz", 3, nullptr, &write.Ov), ERROR_IO_PENDING);
    const COMSTAT held = Status(a);
    EXPECT_TRUE(held.fCtsHold);
    EXPECT_EQ(held.cbOutQue, 3u);
    EXPECT_EQ(Status(b).cbInQue, 0u);

    ASSERT_TRUE(EscapeCommFunction(b, SETRTS));
    ASSERT_TRUE(write.Done());
    EXPECT_EQ(Drain(b), "xyz");
}

TEST_F(VirtualLines, RingIsSetByTheControlObject) {
    const HANDLE a = Open(Pair.A());
    TAsync& wait = NewAsync();
    StartWait(a, EV_RING, wait);

    Pair.A().SetRing(true);
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_RING);
    EXPECT_EQ(ModemStatus(a), MS_RING_ON);

    StartWait(a, EV_RING, wait);
    Pair.A().SetRing(false); // only a ring coming on is an event
    EXPECT_FALSE(wait.Done());
    EXPECT_EQ(ModemStatus(a), 0u);
    Pair.A().SetRing(true);
    EXPECT_TRUE(wait.Done());
}

TEST_F(VirtualLines, BreakReachesThePeerAndHoldsOutput) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    TAsync& wait = NewAsync();
    StartWait(b, EV_BREAK | EV_RXCHAR, wait);

    ASSERT_TRUE(SetCommBreak(a));
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_BREAK);
    EXPECT_TRUE(Pair.A().Lines().Break);
    DWORD errors = 0;
    Status(b, &errors);
    EXPECT_EQ(errors, CE_BREAK);

    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "ok", 2, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_EQ(Status(b).cbInQue, 0u);
    ASSERT_TRUE(ClearCommBreak(a));
    EXPECT_TRUE(write.Done());
    EXPECT_EQ(Drain(b), "ok");
}

TEST_F(VirtualLines, XoffEscapeHoldsOutputUntilXon) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(EscapeCommFunction(a, SETXOFF));
    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "abc", 3, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_TRUE(Status(a).fXoffHold);
    ASSERT_TRUE(EscapeCommFunction(a, SETXON));
    EXPECT_TRUE(write.Done());
    EXPECT_EQ(Drain(b), "abc");
}

TEST_F(VirtualLines, ReceivedXoffAndXonSteerOutputWhenEnabled) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(a, [](DCB& d) { d.fOutX = 1; });
    Send(b, "\x13");
    EXPECT_TRUE(Status(a).fXoffHold);
    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "held", 4, nullptr, &write.Ov), ERROR_IO_PENDING);
    Send(b, "\x11"
            "data");
    EXPECT_TRUE(write.Done());
    EXPECT_EQ(Drain(b), "held");
    EXPECT_EQ(Drain(a), "data"); // the control characters are consumed
}

TEST_F(VirtualLines, UnsupportedEscapesFail) {
    const HANDLE a = Open(Pair.A());
    EXPECT_FAILS_WITH(EscapeCommFunction(a, RESETDEV), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(EscapeCommFunction(a, 42), ERROR_INVALID_PARAMETER);
}

} // namespace
} // namespace qvirt::test
