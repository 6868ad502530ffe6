// What only a virtual pair shows: modem lines wired across, ring, break, injected line
// errors, queue limits, unplugging, and what its control object observes.
#include "device_fixture.h"
#include "rtl/Text.h"

#include <cstring>
#include <future>
#include <system_error>

namespace qvirt {
// Readable failure messages for the control object's records.
inline void PrintTo(const TQueueSizes& q, std::ostream* os) {
    *os << "{Input " << q.Input << ", Output " << q.Output << "}";
}
inline void PrintTo(const TLineState& l, std::ostream* os) {
    *os << "{Dtr " << l.Dtr << ", Rts " << l.Rts << ", Break " << l.Break << "}";
}
} // namespace qvirt

namespace quillon_test {
namespace {

using qvirt::TLineState;
using qvirt::TQueueSizes;

void Send(HANDLE h, const std::string& bytes) {
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
    ASSERT_EQ(done, bytes.size());
}

COMSTAT StatusOf(HANDLE h, DWORD* errors = nullptr) {
    COMSTAT stat{};
    DWORD ignored = 0;
    EXPECT_TRUE(ClearCommError(h, errors ? errors : &ignored, &stat)) << GetLastError();
    return stat;
}

/// Everything queued at the end, read without waiting.
std::string Drain(HANDLE h) {
    std::string bytes(StatusOf(h).cbInQue, '\0');
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
    bytes.resize(done);
    return bytes;
}

DWORD Modem(HANDLE h) {
    DWORD status = 0;
    EXPECT_TRUE(GetCommModemStatus(h, &status)) << GetLastError();
    return status;
}

void Change(HANDLE h, void (*change)(DCB&)) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, dcb));
    change(dcb);
    ASSERT_TRUE(SetCommState(h, dcb)) << GetLastError();
}

/// The device under test is end A; the test holds the peer B.
class VirtualDevice : public OnlyOn<VirtualEnd> {
  protected:
    const HANDLE a = port, b = end().peer;
    qvirt::TEnd A() { return end().pair.A(); }
};

// ---- modem lines, ring and break ----

TEST_F(VirtualDevice, RtsAndDtrDriveThePeersCtsDsrAndCarrier) {
    EXPECT_EQ(Modem(a), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    StartPendingWait(EV_CTS | EV_DSR | EV_RLSD);
    ASSERT_TRUE(EscapeCommFunction(b, CLRRTS));
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_CTS);
    EXPECT_FALSE(end().pair.B().Lines().Rts);
    StartPendingWait(EV_CTS | EV_DSR | EV_RLSD);
    ASSERT_TRUE(EscapeCommFunction(b, CLRDTR));
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_DSR | EV_RLSD);
    EXPECT_EQ(Modem(a), 0u);
    ASSERT_TRUE(EscapeCommFunction(b, SETRTS));
    EXPECT_EQ(Modem(a), MS_CTS_ON);
}

TEST_F(VirtualDevice, OpeningAndClosingThePeerMovesItsLines) {
    StartPendingWait(EV_CTS | EV_DSR | EV_RLSD);
    end().peer.Close();
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_CTS | EV_DSR | EV_RLSD);
    EXPECT_EQ(Modem(a), 0u);
    EXPECT_EQ(end().pair.B().Lines(), TLineState{});
    Send(a, "void"); // lost: nobody listens
    StartPendingWait(EV_CTS | EV_DSR | EV_RLSD);
    Handle peer(OpenPort(end().pair.B().DeviceName()));
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_CTS | EV_DSR | EV_RLSD);
    EXPECT_EQ(StatusOf(peer).cbInQue, 0u);
}

TEST_F(VirtualDevice, DcbModesSetTheLinesAndHandshakeModesOwnThem) {
    Change(b, [](DCB& d) {
        d.fDtrControl = DTR_CONTROL_DISABLE, d.fRtsControl = RTS_CONTROL_DISABLE;
    });
    EXPECT_EQ(Modem(a), 0u);
    EXPECT_EQ(end().pair.B().Lines(), (TLineState{false, false, false}));
    Change(b, [](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; });
    EXPECT_EQ(Modem(a), MS_CTS_ON);
    Change(a, [](DCB& d) {
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
        d.fDtrControl = DTR_CONTROL_HANDSHAKE;
    });
    EXPECT_FAILS_WITH(EscapeCommFunction(a, CLRRTS), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETDTR), ERROR_INVALID_PARAMETER);
    Change(a, [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; });
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETRTS), ERROR_INVALID_PARAMETER);
}

TEST_F(VirtualDevice, RtsHandshakeFollowsTheInputQueue) {
    ASSERT_TRUE(SetupComm(a, 8, 0));
    Change(a, [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; });
    EXPECT_TRUE(Modem(b) & MS_CTS_ON);
    other->Feed("1234567"); // above three quarters of 8
    EXPECT_FALSE(Modem(b) & MS_CTS_ON);
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(a, rd.buf, 3, &done, nullptr)); // 4 left: not yet below half
    EXPECT_FALSE(Modem(b) & MS_CTS_ON);
    ASSERT_TRUE(ReadFile(a, rd.buf, 1, &done, nullptr));
    EXPECT_TRUE(Modem(b) & MS_CTS_ON);
}

TEST_F(VirtualDevice, CtsFlowHoldsOutputUntilThePeerRaisesRts) {
    Change(a, [](DCB& d) { d.fOutxCtsFlow = 1; });
    ASSERT_TRUE(EscapeCommFunction(b, CLRRTS));
    EXPECT_FAILS_WITH(WriteFile(a, "xyz", 3, nullptr, &wr.ov), ERROR_IO_PENDING);
    const COMSTAT held = StatusOf(a);
    EXPECT_TRUE(held.fCtsHold);
    EXPECT_EQ(held.cbOutQue, 3u);
    EXPECT_TRUE(other->Quiet(0));
    ASSERT_TRUE(EscapeCommFunction(b, SETRTS));
    ASSERT_TRUE(wr.Done());
    EXPECT_EQ(Drain(b), "xyz");
}

TEST_F(VirtualDevice, ReceivedXoffAndXonSteerOutputWhenEnabled) {
    Change(a, [](DCB& d) { d.fOutX = 1; });
    other->Feed("\x13");
    EXPECT_TRUE(Status().fXoffHold);
    EXPECT_FAILS_WITH(WriteFile(a, "held", 4, nullptr, &wr.ov), ERROR_IO_PENDING);
    other->Feed("\x11"
                "data");
    EXPECT_TRUE(wr.Done());
    EXPECT_EQ(Drain(b), "held");
    EXPECT_EQ(Drain(a), "data"); // the control characters are consumed
}

TEST_F(VirtualDevice, RingComesFromTheControlObjectOnItsTrailingEdge) {
    StartPendingWait(EV_RING);
    A().SetRing(true); // the indicator coming on is no ring yet
    EXPECT_FALSE(ev.Done());
    EXPECT_EQ(Modem(a) & MS_RING_ON, MS_RING_ON);
    A().SetRing(false);
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_RING);
    EXPECT_EQ(Modem(a) & MS_RING_ON, 0u);
    StartPendingWait(EV_RING);
    A().PulseRing();
    EXPECT_TRUE(ev.Done());
}

TEST_F(VirtualDevice, BreakReachesThePeerAndHoldsOutput) {
    ASSERT_TRUE(SetCommMask(b, EV_BREAK | EV_RXCHAR));
    ASSERT_TRUE(SetCommBreak(a));
    EXPECT_TRUE(A().Lines().Break);
    DWORD events = 0, errors = 0;
    EXPECT_TRUE(WaitCommEvent(b, &events, &ev.ov));
    EXPECT_EQ(events, EV_BREAK);
    StatusOf(b, &errors);
    EXPECT_EQ(errors, CE_BREAK);
    EXPECT_FAILS_WITH(WriteFile(a, "ok", 2, nullptr, &wr.ov), ERROR_IO_PENDING);
    EXPECT_TRUE(other->Quiet(0));
    ASSERT_TRUE(ClearCommBreak(a));
    EXPECT_TRUE(wr.Done());
    EXPECT_EQ(Drain(b), "ok");
}

// ---- line errors ----

struct Injected {
    DWORD errors, event;
};

class InjectedErrors : public VirtualDevice, public testing::WithParamInterface<Injected> {};

TEST_P(InjectedErrors, ShowOnceAsTheirFlagsAndEvent) {
    StartPendingWait(EV_ERR | EV_BREAK);
    A().InjectLineError(GetParam().errors);
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, GetParam().event);
    DWORD errors = 0;
    Status(&errors);
    EXPECT_EQ(errors, GetParam().errors);
    Status(&errors);
    EXPECT_EQ(errors, 0u);
}

INSTANTIATE_TEST_SUITE_P(Flags, InjectedErrors,
                         testing::Values(Injected{CE_RXPARITY, EV_ERR}, Injected{CE_FRAME, EV_ERR},
                                         Injected{CE_OVERRUN, EV_ERR}, Injected{CE_BREAK, EV_BREAK},
                                         Injected{CE_BREAK | CE_OVERRUN, EV_ERR | EV_BREAK}));

TEST_F(VirtualDevice, OtherErrorFlagsComeWithoutAnEventAndNonErrorsAreRejected) {
    StartPendingWait(0x1FFF);
    A().InjectLineError(CE_IOE | CE_RXOVER);
    EXPECT_FALSE(ev.Done());
    DWORD errors = 0;
    Status(&errors);
    EXPECT_EQ(errors, CE_IOE | CE_RXOVER);
    EXPECT_THROW(A().InjectLineError(0), std::invalid_argument);
    EXPECT_THROW(A().InjectLineError(0x40), std::invalid_argument);
    port.Close();
    A().InjectLineError(CE_FRAME); // into a closed end: lost
    Handle again(OpenPort(A().DeviceName()));
    StatusOf(again, &errors);
    EXPECT_EQ(errors, 0u);
}

TEST_F(VirtualDevice, AbortOnErrorRefusesTransfersUntilCleared) {
    Change(a, [](DCB& d) { d.fAbortOnError = 1; });
    StartPendingRead(4);
    A().InjectLineError(CE_FRAME);
    ASSERT_TRUE(rd.Done());
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &rd.ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_FAILS_WITH(ReadFile(a, rd.buf, 4, &done, &rd.ov), ERROR_OPERATION_ABORTED);
    EXPECT_FAILS_WITH(WriteFile(a, "x", 1, &done, nullptr), ERROR_OPERATION_ABORTED);
    DWORD errors = 0;
    Status(&errors);
    EXPECT_EQ(errors, CE_FRAME);
    other->Feed("ok");
    EXPECT_EQ(Drain(a), "ok");
}

// ---- queue limits and the events they drive ----

TEST_F(VirtualDevice, AFullPeerQueueStallsTheWriterAndTheOutputBufferTakesTheRest) {
    ASSERT_TRUE(SetupComm(b, 4, 0));
    ASSERT_TRUE(SetCommMask(a, EV_TXEMPTY));
    EXPECT_FAILS_WITH(WaitCommEvent(a, &ev.events, &ev.ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WriteFile(a, "0123456789", 10, nullptr, &wr.ov), ERROR_IO_PENDING);
    EXPECT_EQ(StatusOf(b).cbInQue, 4u);
    EXPECT_EQ(A().Queued(), (TQueueSizes{0, 6}));
    std::string got = Drain(b);
    EXPECT_FALSE(wr.Done());
    EXPECT_FALSE(ev.Done());
    got += Drain(b); // makes room for the last bytes: TX empty follows their delivery
    ASSERT_TRUE(wr.Done());
    EXPECT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, EV_TXEMPTY);
    got += Drain(b);
    EXPECT_EQ(got, "0123456789");
    // An output buffer takes what the line cannot, so the write ends at once; purge
    // clears the buffer.
    ASSERT_TRUE(SetupComm(a, 16, 8));
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(a, "abcdefghij", 10, &done, &wr.ov));
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(Status().cbOutQue, 6u);
    ASSERT_TRUE(PurgeComm(a, PURGE_TXCLEAR));
    EXPECT_EQ(Status().cbOutQue, 0u);
    EXPECT_EQ(Drain(b), "abcd");
    EXPECT_TRUE(other->Quiet(0));
}

TEST_F(VirtualDevice, EightyPercentFullAndTheFlagCharacterRaiseTheirEvents) {
    ASSERT_TRUE(SetupComm(a, 10, 0));
    Change(a, [](DCB& d) { d.EvtChar = '\r'; });
    for (const auto& [event, before, last] :
         {std::tuple{EV_RX80FULL, "1234567", "8"}, std::tuple{EV_RXFLAG, "w", "\r"}}) {
        StartPendingWait(event);
        other->Feed(before);
        EXPECT_FALSE(ev.Done()) << event;
        other->Feed(last);
        ASSERT_TRUE(ev.Done()) << event;
        EXPECT_EQ(ev.events, event);
    }
}

TEST_F(VirtualDevice, QueueSizesBeyondTheLimitsAreRefused) {
    port.Close();
    A().SetMaxQueueSizes(1024, 512);
    Handle h(OpenPort(A().DeviceName()));
    EXPECT_FAILS_WITH(SetupComm(h, 2048, 512), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(SetupComm(h, 1024, 513), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(SetupComm(h, 0, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(A().QueueSizes(), (TQueueSizes{0, 0}));
    EXPECT_TRUE(SetupComm(h, 1024, 512));
    EXPECT_EQ(A().QueueSizes(), (TQueueSizes{1024, 512}));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(h, prop));
    EXPECT_EQ(prop.dwMaxRxQueue, 1024u);
    EXPECT_EQ(prop.dwMaxTxQueue, 512u);
}

// ---- unplugging ----

TEST_F(VirtualDevice, UnplugEndsEveryPendingRequestOfBothEndsAndLaterCalls) {
    ASSERT_TRUE(SetupComm(b, 1, 0));
    StartPendingWait(EV_RXCHAR);
    StartPendingRead(4);
    EXPECT_FAILS_WITH(WriteFile(a, "xyz", 3, nullptr, &wr.ov), ERROR_IO_PENDING);
    Async peerWait;
    ASSERT_TRUE(SetCommMask(b, EV_CTS));
    EXPECT_FAILS_WITH(WaitCommEvent(b, &peerWait.events, &peerWait.ov), ERROR_IO_PENDING);
    end().pair.Unplug();
    for (Async* r : {&ev, &rd, &wr, &peerWait}) {
        EXPECT_TRUE(r->Done()) << "still pending after the unplug";
        EXPECT_EQ(r->ov.Internal, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(ev.events, 0u);
    EXPECT_EQ(wr.ov.InternalHigh, 1u);
    DCB dcb{};
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &rd.ov, &done, TRUE), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(WaitCommEvent(a, &ev.events, &ev.ov), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(GetCommState(a, dcb), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(WriteFile(a, "x", 1, &done, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETDTR), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(a));
}

TEST_F(VirtualDevice, UnplugReturnsBlockingCallsInOtherThreads) {
    ASSERT_TRUE(SetupComm(a, 16, 1));
    ASSERT_TRUE(SetupComm(b, 1, 0));
    Send(a, "12"); // one delivered, one buffered: a flush waits for b to read
    auto blocked = [](auto call) {
        return std::async(std::launch::async,
                          [call] { return call() ? DWORD(0) : GetLastError(); });
    };
    auto read = blocked([h = a] {
        char buf[4];
        DWORD done = 0;
        return ReadFile(h, buf, 4, &done, nullptr); // nothing comes
    });
    auto flush = blocked([h = a] { return FlushFileBuffers(h); });
    end().pair.Unplug();
    EXPECT_EQ(read.get(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(flush.get(), ERROR_ACCESS_DENIED);
}

TEST_F(VirtualDevice, ReopeningFailsUntilPluggedAgainAndDeletingFreesTheNames) {
    end().pair.Unplug();
    EXPECT_FALSE(end().pair.Plugged());
    EXPECT_EQ(OpenPort(A().DeviceName()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    end().pair.Plug();
    Handle fresh(OpenPort(A().DeviceName())); // a new device; the old handle stays dead
    DCB dcb{};
    EXPECT_TRUE(GetCommState(fresh, dcb));
    EXPECT_FAILS_WITH(GetCommState(a, dcb), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(ReadFile(fresh, rd.buf, 1, nullptr, &rd.ov), ERROR_IO_PENDING);
    const string name = A().DeviceName();
    end().pair.Delete();
    EXPECT_TRUE(rd.Done());
    EXPECT_EQ(rd.ov.Internal, ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenPort(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    const std::string leaf = rtl::StringToUtf8(name).substr(std::strlen("virtual:"));
    qvirt::TPair again = qvirt::CreatePair(leaf, leaf + "x");
    Handle reborn(OpenPort(again.A().DeviceName()));
    EXPECT_TRUE(reborn.Valid());
}

// ---- what the control object observes ----

TEST_F(VirtualDevice, TheDcbIsKeptExactlyAsSetFromA9600EightNoneOneStart) {
    const DCB fresh = State();
    EXPECT_EQ(fresh.BaudRate, 9600u);
    EXPECT_EQ(fresh.fRtsControl, RTS_CONTROL_ENABLE);
    DCB set{};
    set.DCBlength = sizeof(DCB);
    set.BaudRate = 31250; // any rate: it is recorded, not simulated
    set.fBinary = set.fParity = set.fTXContinueOnXoff = 1;
    set.fDummy2 = 0x1234;
    set.wReserved = 7;
    set.wReserved1 = 9;
    set.ByteSize = 16;
    set.XonChar = 1;
    set.XoffChar = 2;
    ASSERT_TRUE(SetCommState(a, set));
    const DCB got = State(), seen = A().State();
    EXPECT_EQ(std::memcmp(&got, &set, sizeof set), 0);
    EXPECT_EQ(std::memcmp(&seen, &set, sizeof set), 0);
}

TEST_F(VirtualDevice, SettingsOutliveTheOpenTheMaskDoesNot) {
    Change(a, [](DCB& d) { d.BaudRate = 115200; });
    SetTimeouts(MAXDWORD, 0, 0);
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    port.Close();
    EXPECT_EQ(A().EventMask(), 0u);
    Handle h(OpenPort(A().DeviceName()));
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(A().Timeouts().ReadIntervalTimeout, MAXDWORD);
}

TEST_F(VirtualDevice, EveryDriverCallIsCountedFailedOnesToo) {
    A().ResetCalls();
    DCB dcb = State();
    ASSERT_TRUE(SetCommState(a, dcb));
    dcb.ByteSize = 3;
    EXPECT_FALSE(SetCommState(a, dcb));
    ASSERT_TRUE(EscapeCommFunction(a, CLRDTR));
    EXPECT_EQ(A().Lines(), (TLineState{false, true, false}));
    EXPECT_EQ(OpenPort(A().DeviceName()), INVALID_HANDLE_VALUE); // busy, and counted
    qvirt::TDriverCalls expected;
    expected.Opens = 1;
    expected.GetCommState = 1;
    expected.SetCommState = 2;
    expected.EscapeCommFunction = 1;
    EXPECT_TRUE(A().Calls() == expected);
    EXPECT_EQ(end().pair.B().Calls().SetCommState, 0u);
    port.Close();
    EXPECT_EQ(A().Calls().Closes, 1u);
}

TEST_F(VirtualDevice, NullBytesAreDroppedByTheReceiverWhenAskedTo) {
    Change(a, [](DCB& d) { d.fNull = 1; });
    other->Feed(std::string("a\0b\0", 4));
    EXPECT_EQ(Drain(a), "ab");
    Send(a, std::string("\0", 1));
    EXPECT_EQ(Drain(b), std::string("\0", 1));
}

TEST(VirtualPairs, NamesMustBeUsableAndFree) {
    EXPECT_THROW(qvirt::CreatePair("", "B"), std::invalid_argument);
    EXPECT_THROW(qvirt::CreatePair("same", "same"), std::invalid_argument);
    EXPECT_THROW(qvirt::CreatePair("virtual:X", "Y"), std::invalid_argument);
    qvirt::TPair first = qvirt::CreatePair("N1", "N2");
    try {
        qvirt::CreatePair("N3", "N2");
        ADD_FAILURE() << "a name in use was taken twice";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), EEXIST);
    }
    EXPECT_EQ(OpenPort(u"virtual:nowhere"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    qvirt::TPair empty;
    EXPECT_THROW(empty.A(), std::logic_error);
    EXPECT_THROW(empty.Unplug(), std::logic_error);
}

} // namespace
} // namespace quillon_test
