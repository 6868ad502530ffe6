// Reads and writes on a real pty: time-outs, asynchronous completion, aborts.
#include "posix_pty.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace quillon_test;
using Clock = std::chrono::steady_clock;

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    // Printable bytes only, so control characters sent ahead stand out.
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(32 + (i * 7 + i / 251) % 95);
    return s;
}

// Starts a read that must go pending.
void StartPendingRead(PtyPort& p, char* buf, DWORD count) {
    DWORD done = 0;
    ASSERT_FALSE(ReadFile(p.port, buf, count, &done, &p.readOv));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_TIMEOUT);
}

// The read must still be running after a while (a negative check, bounded).
void ExpectStillPending(PtyPort& p) {
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 100), WAIT_TIMEOUT);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(p.port, &p.readOv, &done, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
}

DWORD FinishRead(PtyPort& p) {
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(p.port, &p.readOv, &done, TRUE))
        << SysErrorMessage(GetLastError());
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_OBJECT_0);
    return done;
}

} // namespace

TEST(PosixRead, AllZeroTimeoutsWaitForEveryByte) {
    PtyPort p;
    p.SetTimeouts(0, 0, 0);
    char buf[10] = {};
    StartPendingRead(p, buf, 10);
    p.pty.Feed("123456789");
    ExpectStillPending(p);
    p.pty.Feed("0");
    EXPECT_EQ(FinishRead(p), 10u);
    EXPECT_EQ(std::string(buf, 10), "1234567890");
}

TEST(PosixRead, IntervalEndsTheReadAfterAGapNotBeforeTheFirstByte) {
    PtyPort p;
    p.SetTimeouts(50, 0, 0);
    char buf[10] = {};
    StartPendingRead(p, buf, 10);
    ExpectStillPending(p); // no byte yet: the interval has not started
    p.pty.Feed("abc");
    EXPECT_EQ(FinishRead(p), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST(PosixRead, TotalTimeoutEndsAShortRead) {
    PtyPort p;
    p.SetTimeouts(0, 10, 100); // 10 ms per byte + 100 ms: 200 ms for 10 bytes
    char buf[10] = {};
    const auto start = Clock::now();
    StartPendingRead(p, buf, 10);
    p.pty.Feed("wxyz");
    EXPECT_EQ(FinishRead(p), 4u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_EQ(std::string(buf, 4), "wxyz");
}

TEST(PosixRead, TotalTimeoutWithNothingReturnsZero) {
    PtyPort p;
    p.SetTimeouts(0, 0, 30);
    char buf[4];
    StartPendingRead(p, buf, 4);
    EXPECT_EQ(FinishRead(p), 0u);
}

TEST(PosixRead, MaxIntervalWithoutTotalsReturnsWhatIsThereAtOnce) {
    PtyPort p;
    p.SetTimeouts(MAXDWORD, 0, 0);
    char buf[10];
    DWORD done = 99;
    ASSERT_TRUE(ResetEvent(p.readEvent));
    ASSERT_TRUE(ReadFile(p.port, buf, 10, &done, &p.readOv));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_OBJECT_0);
    // Once bytes are queued (the wait reports them), they come back at once.
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    DWORD events = 0;
    p.pty.Feed("hi!");
    if (!WaitCommEvent(p.port, &events, &p.waitOv)) {
        ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    }
    ASSERT_TRUE(ReadFile(p.port, buf, 10, &done, &p.readOv));
    EXPECT_EQ(std::string(buf, done), "hi!");
    EXPECT_EQ(p.readOv.InternalHigh, 3u);
}

TEST(PosixRead, MaxIntervalAndMultiplierEndAtTheFirstBytes) {
    PtyPort p;
    p.SetTimeouts(MAXDWORD, MAXDWORD, 60000);
    char buf[10];
    StartPendingRead(p, buf, 10);
    ExpectStillPending(p);
    p.pty.Feed("z");
    ASSERT_EQ(WaitForSingleObject(p.readEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(FinishRead(p), 1u);
}

TEST(PosixRead, SynchronousReadWithoutRecord) {
    PtyPort p;
    p.SetTimeouts(0, 0, 0);
    std::thread feeder([&] { p.pty.Feed("sync"); });
    char buf[4];
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(p.port, buf, 4, &done, nullptr));
    feeder.join();
    EXPECT_EQ(std::string(buf, done), "sync");
}

TEST(PosixRead, ASecondReadQueuesBehindTheFirst) {
    PtyPort p;
    char a[4], b[4];
    StartPendingRead(p, a, 4);
    OVERLAPPED other{};
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(p.port, b, 4, &done, &other));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    p.pty.Feed("fourfive");
    EXPECT_EQ(FinishRead(p), 4u);
    ASSERT_TRUE(GetOverlappedResult(p.port, &other, &done, TRUE));
    EXPECT_EQ(std::string(a, 4) + std::string(b, done), "fourfive");
}

TEST(PosixRead, PurgeAbortEndsAPendingRead) {
    PtyPort p;
    char buf[10];
    StartPendingRead(p, buf, 10);
    ASSERT_TRUE(PurgeComm(p.port, PURGE_RXABORT | PURGE_RXCLEAR));
    ASSERT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_OBJECT_0);
    DWORD done = 99;
    EXPECT_FALSE(GetOverlappedResult(p.port, &p.readOv, &done, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(done, 0u);
    // The port goes on working.
    StartPendingRead(p, buf, 2);
    p.pty.Feed("ok");
    EXPECT_EQ(FinishRead(p), 2u);
}

TEST(PosixWrite, SmallWriteFinishesAtOnce) {
    PtyPort p;
    DWORD done = 0;
    ASSERT_TRUE(ResetEvent(p.writeEvent));
    ASSERT_TRUE(WriteFile(p.port, "hello", 5, &done, &p.writeOv));
    EXPECT_EQ(done, 5u);
    EXPECT_EQ(WaitForSingleObject(p.writeEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(p.pty.Drain(5), "hello");
}

TEST(PosixWrite, MegabyteCompletesOnItsOwnInOrder) {
    PtyPort p;
    const std::string data = Pattern(1 << 20);
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, &p.writeOv));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    // Nobody waits on the request: the test only reads the other end.
    const std::string got = p.pty.Drain(data.size());
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "bytes lost or out of order";
    ASSERT_EQ(WaitForSingleObject(p.writeEvent, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(p.port, &p.writeOv, &done, FALSE));
    EXPECT_EQ(done, data.size());
}

TEST(PosixWrite, PriorityCharacterGoesAheadOfAStalledWrite) {
    PtyPort p;
    const std::string data = Pattern(1 << 20);
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, &p.writeOv));
    ASSERT_TRUE(TransmitCommChar(p.port, '\x01'));
    ASSERT_TRUE(TransmitCommChar(p.port, '\x02') || GetLastError() == EBUSY);
    const std::string got = p.pty.Drain(data.size() + 2);
    ASSERT_GE(got.size(), data.size() + 1);
    // The write's own bytes stay in order around the inserted ones.
    const size_t at = got.find('\x01');
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(at, data.size() / 2);
    std::string without = got;
    without.erase(at, 1);
    if (without.size() > data.size()) without.erase(without.find('\x02', at), 1);
    EXPECT_TRUE(without == data);
    ASSERT_TRUE(GetOverlappedResult(p.port, &p.writeOv, &done, TRUE));
}

TEST(PosixWrite, TransmitCharOnAnIdlePort) {
    PtyPort p;
    ASSERT_TRUE(TransmitCommChar(p.port, '!'));
    EXPECT_EQ(p.pty.Drain(1), "!");
}

TEST(PosixWrite, WriteTimeoutEndsAStalledWriteShort) {
    PtyPort p;
    p.SetTimeouts(0, 0, 0, 0, 50);
    const std::string data = Pattern(1 << 20);
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, &p.writeOv));
    ASSERT_TRUE(GetOverlappedResult(p.port, &p.writeOv, &done, TRUE));
    EXPECT_GT(done, 0u);
    EXPECT_LT(done, data.size());
}

TEST(PosixWrite, PurgeAbortEndsAPendingWrite) {
    PtyPort p;
    const std::string data = Pattern(1 << 20);
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, &p.writeOv));
    ASSERT_TRUE(PurgeComm(p.port, PURGE_TXABORT | PURGE_TXCLEAR));
    EXPECT_EQ(WaitForSingleObject(p.writeEvent, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(p.port, &p.writeOv, &done, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_LT(done, data.size());
}

TEST(PosixWrite, FlushWaitsForThePendingWrite) {
    PtyPort p;
    const std::string data = Pattern(1 << 18);
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, &p.writeOv));
    std::string got;
    std::thread reader([&] { got = p.pty.Drain(data.size()); });
    EXPECT_TRUE(FlushFileBuffers(p.port)) << SysErrorMessage(GetLastError());
    // Flushed means the request is over, without waiting for it here.
    EXPECT_TRUE(GetOverlappedResult(p.port, &p.writeOv, &done, FALSE));
    EXPECT_EQ(done, data.size());
    reader.join();
    EXPECT_TRUE(got == data);
}

TEST(PosixWrite, SynchronousWriteWithoutRecord) {
    PtyPort p;
    const std::string data = Pattern(1 << 17);
    std::string got;
    std::thread reader([&] { got = p.pty.Drain(data.size()); });
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(p.port, data.data(), DWORD(data.size()), &done, nullptr));
    EXPECT_EQ(done, data.size());
    reader.join();
    EXPECT_TRUE(got == data);
}

TEST(PosixTransfer, BadArgumentsAreRefused) {
    PtyPort p;
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(p.port, nullptr, 4, &done, &p.readOv));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(WriteFile(p.port, nullptr, 4, &done, &p.writeOv));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    OVERLAPPED badEvent{};
    badEvent.hEvent = 12345;
    char buf[4];
    EXPECT_FALSE(ReadFile(p.port, buf, 4, &done, &badEvent));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetOverlappedResult(p.port, nullptr, &done, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // A zero-length request ends at once.
    ASSERT_TRUE(ResetEvent(p.readEvent));
    EXPECT_TRUE(ReadFile(p.port, buf, 0, &done, &p.readOv));
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_OBJECT_0);
}
