// Unplugging and deleting a virtual pair: what pending and later calls see, and reopening.
#include "tests/platform/virtual_fixture.h"

#include <future>
#include <thread>

namespace qvirt::test {
namespace {

using VirtualUnplug = VirtualPairTest;

TEST_F(VirtualUnplug, EndsEveryPendingRequestOfBothEndsAtOnce) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 1, 0));
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    ASSERT_TRUE(SetCommMask(b, EV_CTS));
    TAsync &waitA = NewAsync(), &waitB = NewAsync(), &read = NewAsync(), &write = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &waitA.Events, &waitA.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WaitCommEvent(b, &waitB.Events, &waitB.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WriteFile(a, "xyz", 3, nullptr, &write.Ov), ERROR_IO_PENDING);

    Pair.Unplug();
    for (TAsync* r : {&waitA, &waitB, &read, &write}) {
        EXPECT_TRUE(r->Done()) << "still pending after the unplug";
        EXPECT_EQ(r->Ov.Internal, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(waitA.Events, 0u);
    EXPECT_EQ(write.Ov.InternalHigh, 1u);
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &read.Ov, &done, TRUE), ERROR_ACCESS_DENIED);
}

TEST_F(VirtualUnplug, LaterCallsFailWithAccessDenied) {
    const HANDLE a = Open(Pair.A());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    Pair.Unplug();
    DCB dcb{};
    DWORD done = 0;
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(GetCommState(a, dcb), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(WriteFile(a, "x", 1, &done, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(EscapeCommFunction(a, SETDTR), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(a));
    Forget(a);
}

TEST_F(VirtualUnplug, BlockingCallsInOtherThreadsReturn) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(a, 16, 1));
    ASSERT_TRUE(SetupComm(b, 1, 0));
    Send(a, "12"); // one delivered, one buffered: a flush waits for b to read
    char buf[4];
    DWORD done = 0;
    auto read = std::async(std::launch::async, [&] {
        const BOOL ok = ReadFile(a, buf, 4, &done, nullptr); // nothing comes
        return ok ? ERROR_SUCCESS : GetLastError();
    });
    auto flush = std::async(std::launch::async,
                            [&] { return FlushFileBuffers(a) ? ERROR_SUCCESS : GetLastError(); });
    Pair.Unplug();
    EXPECT_EQ(read.get(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(flush.get(), ERROR_ACCESS_DENIED);
}

TEST_F(VirtualUnplug, ReopeningFailsUntilPluggedAgain) {
    const HANDLE stale = Open(Pair.A());
    Pair.Unplug();
    EXPECT_FALSE(Pair.Plugged());
    const HANDLE h = CreateFile(Pair.A().DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    Pair.Plug();
    const HANDLE fresh = Open(Pair.A()); // a new device; the old handle stays dead
    DCB dcb{};
    EXPECT_TRUE(GetCommState(fresh, dcb));
    EXPECT_FAILS_WITH(GetCommState(stale, dcb), ERROR_ACCESS_DENIED);
    const HANDLE b = Open(Pair.B());
    Send(b, "back");
    EXPECT_EQ(Drain(fresh), "back");
}

TEST_F(VirtualUnplug, DeletingThePairActsAsUnplugAndFreesTheNames) {
    const HANDLE a = Open(Pair.A());
    TAsync& read = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 1, nullptr, &read.Ov), ERROR_IO_PENDING);
    Pair.Delete();
    EXPECT_TRUE(read.Done());
    EXPECT_EQ(read.Ov.Internal, ERROR_ACCESS_DENIED);
    const HANDLE h = CreateFile(u"virtual:B", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    Pair = CreatePair("A", "B");
    Open(Pair.B());
}

} // namespace
} // namespace qvirt::test
