// WaitCommEvent on a virtual end: pending and immediate waits, the mask, the data events
// and injected line errors.
#include "tests/platform/virtual_fixture.h"

#include <thread>

namespace qvirt::test {
namespace {

using VirtualEvents = VirtualPairTest;

TEST_F(VirtualEvents, PendingWaitEndsWithTheReceivedCharacter) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR | EV_CTS));
    TAsync& wait = NewAsync();
    wait.Events = 0xDEAD;
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Done());

    Send(b, "x");
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_RXCHAR);
    DWORD done = 1;
    EXPECT_TRUE(GetOverlappedResult(a, &wait.Ov, &done, FALSE));
}

TEST_F(VirtualEvents, WaitReturnsAtOnceWhenEventsArePending) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    Send(b, "x");
    TAsync& wait = NewAsync();
    EXPECT_TRUE(WaitCommEvent(a, &wait.Events, &wait.Ov));
    EXPECT_EQ(wait.Events, EV_RXCHAR);
    EXPECT_TRUE(wait.Done());
    // The history was consumed: the next wait pends.
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
}

TEST_F(VirtualEvents, EventsOutsideTheMaskAreNotRecorded) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_CTS));
    Send(b, "x");
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Done());
}

TEST_F(VirtualEvents, SetCommMaskWakesAPendingWaitWithNoEvents) {
    const HANDLE a = Open(Pair.A());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    TAsync& wait = NewAsync();
    wait.Events = 0xDEAD;
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);

    ASSERT_TRUE(SetCommMask(a, 0));
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, 0u);
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(a, &wait.Ov, &done, TRUE));
    EXPECT_EQ(Pair.A().EventMask(), 0u);
}

TEST_F(VirtualEvents, SetCommMaskForgetsEarlierEvents) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    Send(b, "x");
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
}

TEST_F(VirtualEvents, BadWaitsAndMasksAreRefused) {
    const HANDLE a = Open(Pair.A());
    DWORD mask = 0;
    TAsync &wait = NewAsync(), &second = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_INVALID_PARAMETER); // empty mask
    EXPECT_FAILS_WITH(SetCommMask(a, 0x2000), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(GetCommMask(a, mask));
    EXPECT_EQ(mask, 0u);

    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WaitCommEvent(a, &second.Events, &second.Ov), ERROR_INVALID_PARAMETER); // one at a time
    EXPECT_FALSE(wait.Done());
}

TEST_F(VirtualEvents, BlockingWaitReturnsWhenTheEventArrives) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    DWORD events = 0;
    BOOL ok = FALSE;
    std::thread waiter([&] { ok = WaitCommEvent(a, &events, nullptr); });
    Send(b, "x");
    waiter.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(events, EV_RXCHAR);
}

TEST_F(VirtualEvents, FlagCharacterRaisesRxFlag) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(a, [](DCB& d) { d.EvtChar = '\r'; });
    ASSERT_TRUE(SetCommMask(a, EV_RXFLAG));
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    Send(b, "w22");
    EXPECT_FALSE(wait.Done());
    Send(b, "\r");
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_RXFLAG);
}

TEST_F(VirtualEvents, EightyPercentFullFiresWhenTheQueueReachesIt) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(a, 10, 0));
    ASSERT_TRUE(SetCommMask(a, EV_RX80FULL));
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    Send(b, "1234567");
    EXPECT_FALSE(wait.Done());
    Send(b, "8");
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_RX80FULL);
}

TEST_F(VirtualEvents, TxEmptyFollowsDeliveryOfTheLastByte) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 4, 0));
    ASSERT_TRUE(SetCommMask(a, EV_TXEMPTY));
    TAsync &wait = NewAsync(), &write = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WriteFile(a, "123456", 6, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Done()); // two bytes wait for room at the peer

    EXPECT_EQ(Drain(b), "1234"); // makes the room
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, EV_TXEMPTY);
    EXPECT_TRUE(write.Done());
    EXPECT_EQ(Drain(b), "56");
}

struct TInjected {
    DWORD Error;
    DWORD Event;
};

class InjectedErrors : public VirtualPairTest, public ::testing::WithParamInterface<TInjected> {};

TEST_P(InjectedErrors, ShowAsTheirFlagAndEvent) {
    const HANDLE a = Open(Pair.A());
    ASSERT_TRUE(SetCommMask(a, EV_ERR | EV_BREAK));
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);

    Pair.A().InjectLineError(GetParam().Error);
    ASSERT_TRUE(wait.Done());
    EXPECT_EQ(wait.Events, GetParam().Event);
    DWORD errors = 0;
    Status(a, &errors);
    EXPECT_EQ(errors, GetParam().Error);
    Status(a, &errors);
    EXPECT_EQ(errors, 0u); // reported once
}

INSTANTIATE_TEST_SUITE_P(Virtual, InjectedErrors,
                         ::testing::Values(TInjected{CE_RXPARITY, EV_ERR},
                                           TInjected{CE_FRAME, EV_ERR},
                                           TInjected{CE_OVERRUN, EV_ERR},
                                           TInjected{CE_BREAK, EV_BREAK},
                                           TInjected{CE_BREAK | CE_OVERRUN, EV_ERR | EV_BREAK}));

TEST_F(VirtualEvents, OtherErrorFlagsAreRecordedWithoutAnEvent) {
    const HANDLE a = Open(Pair.A());
    ASSERT_TRUE(SetCommMask(a, 0x1FFF));
    Pair.A().InjectLineError(CE_IOE | CE_RXOVER);
    DWORD errors = 0;
    Status(a, &errors);
    EXPECT_EQ(errors, CE_IOE | CE_RXOVER);
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);
}

TEST_F(VirtualEvents, InjectionRejectsWhatIsNoLineError) {
    EXPECT_THROW(Pair.A().InjectLineError(0), std::invalid_argument);
    EXPECT_THROW(Pair.A().InjectLineError(0x40), std::invalid_argument);
}

TEST_F(VirtualEvents, InjectionIntoAClosedEndIsLost) {
    Pair.A().InjectLineError(CE_FRAME);
    const HANDLE a = Open(Pair.A());
    DWORD errors = 0;
    Status(a, &errors);
    EXPECT_EQ(errors, 0u);
}

TEST_F(VirtualEvents, AbortOnErrorRefusesTransfersUntilCleared) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(a, [](DCB& d) { d.fAbortOnError = 1; });
    TAsync& read = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);

    Pair.A().InjectLineError(CE_FRAME);
    ASSERT_TRUE(read.Done());
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &read.Ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, &done, &read.Ov), ERROR_OPERATION_ABORTED);
    EXPECT_FAILS_WITH(WriteFile(a, "x", 1, &done, nullptr), ERROR_OPERATION_ABORTED);

    DWORD errors = 0;
    Status(a, &errors);
    EXPECT_EQ(errors, CE_FRAME);
    Send(b, "ok");
    EXPECT_EQ(Drain(a), "ok");
}

} // namespace
} // namespace qvirt::test
