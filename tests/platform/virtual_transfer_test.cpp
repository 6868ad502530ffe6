// Reads and writes across a virtual pair: overlapped completion, queue limits, purge,
// flush, the priority character and what closing does to pending requests.
#include "tests/platform/virtual_fixture.h"

#include <future>
#include <thread>

namespace qvirt::test {
namespace {

using VirtualTransfer = VirtualPairTest;

TEST_F(VirtualTransfer, BytesCrossInBothDirections) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    Send(a, "ping");
    Send(b, "pong");
    EXPECT_EQ(Drain(b), "ping");
    EXPECT_EQ(Drain(a), "pong");
}

TEST_F(VirtualTransfer, OverlappedReadOfQueuedBytesCompletesAtOnce) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    Send(b, "abc");
    DWORD done = 0;
    TAsync& read = NewAsync();
    ASSERT_TRUE(ReadFile(a, read.Buf, 3, &done, &read.Ov));
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(std::string(read.Buf, 3), "abc");
    EXPECT_TRUE(read.Done()); // the event is set for an immediate completion too
}

TEST_F(VirtualTransfer, OverlappedReadPendsUntilAllBytesArrive) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    TAsync& read = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &read.Ov, &done, FALSE), ERROR_IO_INCOMPLETE);
    Send(b, "12");
    EXPECT_FALSE(read.Done());
    Send(b, "345");
    ASSERT_TRUE(read.Done());
    EXPECT_TRUE(GetOverlappedResult(a, &read.Ov, &done, FALSE));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::string(read.Buf, 4), "1234");
    EXPECT_EQ(Drain(a), "5");
}

TEST_F(VirtualTransfer, GetOverlappedResultWaitsForTheRequest) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    TAsync& read = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 6, nullptr, &read.Ov), ERROR_IO_PENDING);
    std::thread writer([&] { Send(b, "remote"); });
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(a, &read.Ov, &done, TRUE));
    writer.join();
    EXPECT_EQ(std::string(read.Buf, done), "remote");
}

TEST_F(VirtualTransfer, BlockingReadReturnsWhenBytesArrive) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    char buf[3];
    DWORD done = 0;
    BOOL ok = FALSE;
    std::thread reader([&] { ok = ReadFile(a, buf, 3, &done, nullptr); });
    Send(b, "xyz");
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(buf, done), "xyz");
}

TEST_F(VirtualTransfer, EmptyRequestsCompleteAtOnce) {
    const HANDLE a = Open(Pair.A());
    DWORD done = 7;
    TAsync& read = NewAsync();
    EXPECT_TRUE(ReadFile(a, nullptr, 0, &done, &read.Ov));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(read.Done());
    EXPECT_TRUE(WriteFile(a, nullptr, 0, &done, nullptr));
}

TEST_F(VirtualTransfer, AnOverlappedRecordWithAForeignHandleIsRefused) {
    const HANDLE a = Open(Pair.A());
    OVERLAPPED ov{};
    ov.hEvent = a; // a device, not an event
    char c;
    EXPECT_FAILS_WITH(ReadFile(a, &c, 1, nullptr, &ov), ERROR_INVALID_HANDLE);
}

TEST_F(VirtualTransfer, NullBytesAreDroppedWhenAskedTo) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetState(a, [](DCB& d) { d.fNull = 1; });
    Send(b, std::string("a\0b\0", 4));
    EXPECT_EQ(Drain(a), "ab");
    Send(a, std::string("\0", 1)); // only the receiving side's setting matters
    EXPECT_EQ(Drain(b), std::string("\0", 1));
}

TEST_F(VirtualTransfer, BytesSentToAClosedPeerAreLost) {
    const HANDLE a = Open(Pair.A());
    Send(a, "void");
    const HANDLE b = Open(Pair.B());
    EXPECT_EQ(Status(b).cbInQue, 0u);
}

TEST_F(VirtualTransfer, AFullInputQueueStallsTheWriter) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 4, 0));
    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "0123456789", 10, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_EQ(Status(b).cbInQue, 4u);
    EXPECT_EQ(Status(a).cbOutQue, 6u);
    EXPECT_EQ(Pair.A().Queued(), (TQueueSizes{0, 6}));

    std::string received = Drain(b);
    EXPECT_FALSE(write.Done());
    received += Drain(b);
    received += Drain(b);
    ASSERT_TRUE(write.Done());
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(a, &write.Ov, &done, FALSE));
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(received, "0123456789");
}

TEST_F(VirtualTransfer, TheOutputBufferTakesWhatTheLineCannot) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(a, 16, 8));
    ASSERT_TRUE(SetupComm(b, 4, 0));
    DWORD done = 0;
    TAsync& write = NewAsync();
    ASSERT_TRUE(WriteFile(a, "0123456789", 10, &done, &write.Ov)); // 4 sent, 6 buffered
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(Status(a).cbOutQue, 6u);

    EXPECT_FAILS_WITH(WriteFile(a, "abcdef", 6, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_EQ(Status(a).cbOutQue, 12u); // 8 buffered, 4 still in the request
    const std::string received = DrainUpTo(b, 16);
    EXPECT_TRUE(write.Done());
    EXPECT_EQ(received, "0123456789abcdef");
}

TEST_F(VirtualTransfer, PurgeAbortEndsPendingRequestsWithWhatMoved) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 2, 0));
    TAsync &read = NewAsync(), &write = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 10, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WriteFile(a, "12345", 5, nullptr, &write.Ov), ERROR_IO_PENDING);
    Send(b, "abc");

    ASSERT_TRUE(PurgeComm(a, PURGE_RXABORT | PURGE_TXABORT));
    ASSERT_TRUE(read.Done());
    ASSERT_TRUE(write.Done());
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &read.Ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(done, 3u);
    EXPECT_FAILS_WITH(GetOverlappedResult(a, &write.Ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(Status(a).cbOutQue, 0u);
    EXPECT_EQ(Drain(b), "12");
}

TEST_F(VirtualTransfer, PurgeClearDiscardsQueuedBytes) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(a, 16, 8));
    ASSERT_TRUE(SetupComm(b, 2, 0));
    Send(a, "abcdef"); // 2 delivered, 4 buffered
    ASSERT_TRUE(PurgeComm(a, PURGE_TXCLEAR));
    EXPECT_EQ(Status(a).cbOutQue, 0u);
    ASSERT_TRUE(PurgeComm(b, PURGE_RXCLEAR));
    EXPECT_EQ(Status(b).cbInQue, 0u);
    Send(a, "z");
    EXPECT_EQ(Drain(b), "z");
    EXPECT_FAILS_WITH(PurgeComm(a, 0x10), ERROR_INVALID_PARAMETER);
}

TEST_F(VirtualTransfer, FlushWaitsUntilTheOutputIsDelivered) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(a, 16, 16));
    ASSERT_TRUE(SetupComm(b, 4, 0));
    EXPECT_TRUE(FlushFileBuffers(a)); // nothing queued
    Send(a, "0123456789");

    auto flushed = std::async(std::launch::async, [&] { return FlushFileBuffers(a); });
    EXPECT_EQ(flushed.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    EXPECT_EQ(DrainUpTo(b, 10), "0123456789");
    EXPECT_TRUE(flushed.get());
    EXPECT_EQ(Status(a).cbOutQue, 0u);
}

TEST_F(VirtualTransfer, PriorityCharacterGoesAheadOfQueuedOutput) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 2, 0));
    TAsync& write = NewAsync();
    EXPECT_FAILS_WITH(WriteFile(a, "abcdef", 6, nullptr, &write.Ov), ERROR_IO_PENDING);
    ASSERT_TRUE(TransmitCommChar(a, '!'));
    EXPECT_TRUE(Status(a).fTxim);
    EXPECT_FAILS_WITH(TransmitCommChar(a, '?'), EBUSY); // the first has not left
    const std::string received = DrainUpTo(b, 7);
    EXPECT_EQ(received, "ab!cdef");
}

TEST_F(VirtualTransfer, ClosingEndsPendingRequests) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 1, 0));
    ASSERT_TRUE(SetCommMask(a, EV_RING));
    TAsync &read = NewAsync(), &write = NewAsync(), &wait = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WriteFile(a, "xyz", 3, nullptr, &write.Ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);

    ASSERT_TRUE(CloseHandle(a));
    Forget(a);
    for (TAsync* r : {&read, &write, &wait}) {
        EXPECT_TRUE(r->Done());
        EXPECT_EQ(r->Ov.Internal, uintptr_t(ERROR_OPERATION_ABORTED));
    }
    EXPECT_EQ(write.Ov.InternalHigh, 1u);
    EXPECT_FALSE(Pair.A().IsOpen());
}

TEST_F(VirtualTransfer, AnEndOpensOnlyOnceAtATime) {
    const HANDLE a = Open(Pair.A());
    const HANDLE again = CreateFile(Pair.A().DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
    EXPECT_EQ(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(EBUSY));
    EXPECT_EQ(Pair.A().Calls().Opens, 2u); // the refused attempt counts too
    ASSERT_TRUE(CloseHandle(a));
    Forget(a);
    Open(Pair.A());
}

TEST_F(VirtualTransfer, UnknownNamesAreNotFound) {
    const HANDLE h = CreateFile(u"virtual:nowhere", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(VirtualTransfer, TheDevicePrefixOfWindowsNamesIsAccepted) {
    const HANDLE h = CreateFile(u"\\\\.\\virtual:B", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Pair.B().IsOpen());
    CloseHandle(h);
}

} // namespace
} // namespace qvirt::test
