// Read and write time-outs: requests on a virtual pair ending on them. Durations only bound from below, except the generous
// "did end at all" limits.
#include "tests/platform/virtual_fixture.h"

#include <chrono>

namespace qvirt::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using VirtualTimeouts = VirtualPairTest;

// Waits for an overlapped read and returns what it brought.
std::string Outcome(HANDLE h, TAsync& r) {
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(h, &r.Ov, &done, TRUE)) << GetLastError();
    return std::string(r.Buf, done);
}

TEST_F(VirtualTimeouts, IntervalMaxAloneReturnsWhatIsThereAtOnce) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, MAXDWORD, 0, 0);
    DWORD done = 9;
    TAsync& read = NewAsync();
    ASSERT_TRUE(ReadFile(a, read.Buf, 8, &done, &read.Ov));
    EXPECT_EQ(done, 0u);
    Send(b, "hi");
    ASSERT_TRUE(ReadFile(a, read.Buf, 8, &done, &read.Ov));
    EXPECT_EQ(std::string(read.Buf, done), "hi");
}

TEST_F(VirtualTimeouts, AllZeroWaitsForEveryByte) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    TAsync& read = NewAsync();
    Send(b, "abc");
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 5, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_FALSE(read.Done());
    Send(b, "de");
    EXPECT_EQ(Outcome(a, read), "abcde");
}

TEST_F(VirtualTimeouts, TotalLimitEndsAReadShortButSuccessful) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, 0, 10, 20); // 10 * 4 + 20 = 60 ms
    Send(b, "ab");
    TAsync& read = NewAsync();
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_EQ(Outcome(a, read), "ab");
    EXPECT_GE(Clock::now() - start, milliseconds(60));
}

TEST_F(VirtualTimeouts, IntervalLimitRunsFromTheLastByte) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, 40, 0, 0);
    TAsync& read = NewAsync();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 10, nullptr, &read.Ov), ERROR_IO_PENDING);
    // No byte yet: the interval does not run.
    EXPECT_EQ(WaitForSingleObject(read.Ov.hEvent, 100), WAIT_TIMEOUT);
    const auto beforeBytes = Clock::now(); // they arrive inside Send
    Send(b, "xy");
    EXPECT_EQ(Outcome(a, read), "xy");
    EXPECT_GE(Clock::now() - beforeBytes, milliseconds(40));
}

TEST_F(VirtualTimeouts, IntervalLimitAlsoRunsFromBytesQueuedBeforeTheRead) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, 30, 0, 0);
    Send(b, "pq");
    TAsync& read = NewAsync();
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 10, nullptr, &read.Ov), ERROR_IO_PENDING);
    ASSERT_TRUE(read.Done(5000)) << "the interval never ran";
    EXPECT_EQ(Outcome(a, read), "pq");
    EXPECT_GE(Clock::now() - start, milliseconds(30));
}

TEST_F(VirtualTimeouts, FirstByteModeReturnsOnTheFirstByte) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, MAXDWORD, MAXDWORD, 60000);
    DWORD done = 0;
    TAsync& read = NewAsync();
    Send(b, "ab"); // queued bytes come back at once
    ASSERT_TRUE(ReadFile(a, read.Buf, 8, &done, &read.Ov));
    EXPECT_EQ(std::string(read.Buf, done), "ab");

    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 8, nullptr, &read.Ov), ERROR_IO_PENDING);
    Send(b, "xyz");
    EXPECT_EQ(Outcome(a, read), "x");
    EXPECT_EQ(Drain(a), "yz");
}

TEST_F(VirtualTimeouts, FirstByteModeTimesOutEmpty) {
    const HANDLE a = Open(Pair.A());
    SetTimeouts(a, MAXDWORD, MAXDWORD, 30);
    TAsync& read = NewAsync();
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 8, nullptr, &read.Ov), ERROR_IO_PENDING);
    EXPECT_EQ(Outcome(a, read), "");
    EXPECT_GE(Clock::now() - start, milliseconds(30));
}

TEST_F(VirtualTimeouts, IntervalMaxWithTotalReturnsQueuedBytesOrWaitsForAll) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    SetTimeouts(a, MAXDWORD, 0, 60000);
    DWORD done = 0;
    TAsync& read = NewAsync();
    Send(b, "q");
    ASSERT_TRUE(ReadFile(a, read.Buf, 4, &done, &read.Ov));
    EXPECT_EQ(std::string(read.Buf, done), "q");

    EXPECT_FAILS_WITH(ReadFile(a, read.Buf, 4, nullptr, &read.Ov), ERROR_IO_PENDING);
    Send(b, "ab");
    EXPECT_FALSE(read.Done());
    Send(b, "cd");
    EXPECT_EQ(Outcome(a, read), "abcd");
}

TEST_F(VirtualTimeouts, WriteTotalLimitEndsAStalledWrite) {
    const HANDLE a = Open(Pair.A()), b = Open(Pair.B());
    ASSERT_TRUE(SetupComm(b, 4, 0));
    SetTimeouts(a, 0, 0, 0, 0, 40);
    TAsync& write = NewAsync();
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(WriteFile(a, "0123456789", 10, nullptr, &write.Ov), ERROR_IO_PENDING);
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(a, &write.Ov, &done, TRUE));
    EXPECT_EQ(done, 4u);
    EXPECT_GE(Clock::now() - start, milliseconds(40));
    EXPECT_EQ(Status(a).cbOutQue, 0u); // the rest was dropped with the request
    EXPECT_EQ(Drain(b), "0123");
}

TEST_F(VirtualTimeouts, AMeaninglessRecordIsRefusedAndTheOldOneKept) {
    const HANDLE a = Open(Pair.A());
    SetTimeouts(a, 1, 2, 3, 4, 5);
    const COMMTIMEOUTS bad{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FAILS_WITH(SetCommTimeouts(a, bad), EINVAL);
    COMMTIMEOUTS now{};
    ASSERT_TRUE(GetCommTimeouts(a, now));
    EXPECT_EQ(now.ReadIntervalTimeout, 1u);
    EXPECT_EQ(now.WriteTotalTimeoutConstant, 5u);
    EXPECT_EQ(Pair.A().Timeouts().ReadTotalTimeoutConstant, 3u);
}

} // namespace
} // namespace qvirt::test
