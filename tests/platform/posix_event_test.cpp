// The line-event wait on a real pty: what wakes it, what must not, and what it costs.
#include "posix_pty.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace quillon_test;

namespace {

// Starts a wait that must go pending.
void StartPendingWait(PtyPort& p, DWORD* events) {
    ASSERT_FALSE(WaitCommEvent(p.port, events, &p.waitOv));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
}

} // namespace

TEST(PosixWait, ReceivedCharacterEndsTheWait) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR | EV_TXEMPTY));
    DWORD events = 0;
    StartPendingWait(p, &events);
    p.pty.Feed("x");
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_RXCHAR);
    DWORD done = 1;
    EXPECT_TRUE(GetOverlappedResult(p.port, &p.waitOv, &done, FALSE));
}

TEST(PosixWait, InputAlreadyReportedWaitsForTheNextByte) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    DWORD events = 0;
    StartPendingWait(p, &events);
    p.pty.Feed("q"); // one byte: a pty cannot hand it on in two pieces
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    // Nobody read the byte, but it was reported: the next wait is for new ones, or a
    // handler that leaves it queued would be woken again at once, for ever.
    events = 0;
    StartPendingWait(p, &events);
    p.pty.Feed("x");
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_RXCHAR);
}

TEST(PosixWait, InputQueuedBeforeTheMaskWasSetCountsToo) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    DWORD events = 0;
    StartPendingWait(p, &events);
    p.pty.Feed("q");
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(SetCommMask(p.port, EV_BREAK | EV_RXCHAR));
    events = 0;
    EXPECT_TRUE(WaitCommEvent(p.port, &events, &p.waitOv));
    EXPECT_EQ(events, EV_RXCHAR);
}

TEST(PosixWait, MaskChangeEndsThePendingWaitEmpty) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    DWORD events = 0xdead;
    StartPendingWait(p, &events);
    EXPECT_EQ(WaitForSingleObject(p.waitEvent, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetCommMask(p.port, 0));
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(events, 0u);
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(p.port, &p.waitOv, &done, FALSE));
    DWORD mask = 1;
    ASSERT_TRUE(GetCommMask(p.port, mask));
    EXPECT_EQ(mask, 0u);
    // Without a mask there is nothing to wait for.
    EXPECT_FALSE(WaitCommEvent(p.port, &events, &p.waitOv));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PosixWait, UnmaskedInputDoesNotEndTheWait) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_BREAK | EV_ERR));
    DWORD events = 0;
    StartPendingWait(p, &events);
    p.pty.Feed("noise");
    EXPECT_EQ(WaitForSingleObject(p.waitEvent, 100), WAIT_TIMEOUT);
    ASSERT_TRUE(SetCommMask(p.port, 0));
    EXPECT_EQ(events, 0u);
}

TEST(PosixWait, OutputDrainedReportsTxEmpty) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_TXEMPTY));
    DWORD events = 0;
    StartPendingWait(p, &events); // nothing was sent: no event yet
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(p.port, "ping", 4, &done, &p.writeOv));
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_TXEMPTY);
    EXPECT_EQ(p.pty.Drain(4), "ping");
}

TEST(PosixWait, RxCharAlsoWhenAPendingReadTookTheBytes) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    char buf[3];
    DWORD done = 0, events = 0;
    ASSERT_FALSE(ReadFile(p.port, buf, 3, &done, &p.readOv));
    StartPendingWait(p, &events);
    p.pty.Feed("abc");
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_RXCHAR);
    ASSERT_TRUE(GetOverlappedResult(p.port, &p.readOv, &done, TRUE));
    EXPECT_EQ(std::string(buf, done), "abc");
}

TEST(PosixWait, OneWaitAtATime) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    DWORD events = 0, other = 0;
    StartPendingWait(p, &events);
    OVERLAPPED ov{};
    EXPECT_FALSE(WaitCommEvent(p.port, &other, &ov));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(WaitCommEvent(p.port, nullptr, &ov));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PosixWait, IdlePendingWaitCostsNoCpu) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR));
    char buf[16];
    DWORD done = 0, events = 0;
    ASSERT_FALSE(ReadFile(p.port, buf, sizeof buf, &done, &p.readOv)); // a pending read too
    StartPendingWait(p, &events);
    const double before = CpuMs();
    EXPECT_EQ(WaitForSingleObject(p.waitEvent, 1000), WAIT_TIMEOUT);
    EXPECT_LT(CpuMs() - before, 5.0);
}

TEST(PosixLost, ClosingTheOtherEndFailsWaitAndReadWithAccessDenied) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    char buf[8];
    DWORD done = 0, events = 0xff;
    ASSERT_FALSE(ReadFile(p.port, buf, sizeof buf, &done, &p.readOv));
    StartPendingWait(p, &events);
    p.pty.CloseMaster();
    ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(p.port, &p.waitOv, &done, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(events, 0u);
    ASSERT_EQ(WaitForSingleObject(p.readEvent, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(p.port, &p.readOv, &done, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // Later requests fail at once; nothing hangs or spins meanwhile.
    const double before = CpuMs();
    EXPECT_FALSE(WaitCommEvent(p.port, &events, &p.waitOv));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ReadFile(p.port, buf, sizeof buf, &done, &p.readOv));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(WriteFile(p.port, "x", 1, &done, &p.writeOv));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WaitForSingleObject(p.waitEvent, 300), WAIT_TIMEOUT);
    EXPECT_LT(CpuMs() - before, 5.0);
    EXPECT_TRUE(CloseHandle(p.port.get()));
    p.port.Close();
}

TEST(PosixLost, HangUpWhileNothingIsPendingIsSeenByTheNextWait) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    p.pty.CloseMaster();
    DWORD events = 0, done = 0;
    if (!WaitCommEvent(p.port, &events, &p.waitOv)) {
        if (GetLastError() == ERROR_IO_PENDING) {
            ASSERT_EQ(WaitForSingleObject(p.waitEvent, 5000), WAIT_OBJECT_0);
            EXPECT_FALSE(GetOverlappedResult(p.port, &p.waitOv, &done, FALSE));
        }
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    } else {
        ADD_FAILURE() << "a hung-up device reported events " << events;
    }
}

TEST(PosixClose, CloseHandleEndsEveryPendingRequest) {
    PtyPort p;
    ASSERT_TRUE(SetCommMask(p.port, EV_RXCHAR));
    char buf[8];
    const std::string big(1 << 20, 'b');
    DWORD done = 0, events = 0;
    ASSERT_FALSE(ReadFile(p.port, buf, sizeof buf, &done, &p.readOv));
    ASSERT_FALSE(WriteFile(p.port, big.data(), DWORD(big.size()), &done, &p.writeOv));
    StartPendingWait(p, &events);
    ASSERT_TRUE(CloseHandle(p.port.get()));
    EXPECT_EQ(WaitForSingleObject(p.readEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(p.writeEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(p.waitEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(p.readOv.Internal, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(p.writeOv.Internal, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(p.waitOv.Internal, ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(GetOverlappedResult(p.port.get(), &p.readOv, &done, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The device is free again.
    Handle again(OpenPort(p.pty.Name()));
    EXPECT_TRUE(again.Valid());
    p.port.Close();
}
