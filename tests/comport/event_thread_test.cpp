// When the event thread exists, which mask the device waits for, and the thread's priority.
#include "Raises.h"
#include "comport/ComThread.h"
#include "event_pty.h"

#include <future>
#include <sys/resource.h>
#include <sys/syscall.h>

namespace quillon::eventtest {
namespace {

using Notify = rtl::Handler<void(TObject*)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;
using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

class EventThreadTest : public EventTest {};

TEST_F(EventThreadTest, OpenCloseAndErrorHandlersAloneStartNoThreadAndAskForNoEvents) {
    OpenClose opened([](TCustomComPort*) {}), closed([](TCustomComPort*) {});
    ComError error([](TCustomComPort*, EComError&, TComAction&) {});
    TAimedPort port(Pair.A()); // after its handlers: it calls AfterClose as it goes
    port.SetAfterOpen(opened);
    port.SetAfterClose(closed);
    port.SetOnError(error);

    port.Open();

    EXPECT_EQ(rtl::TThread::RunningCount(), 0);
    EXPECT_EQ(Pair.A().EventMask(), 0u);
    EXPECT_EQ(Pair.A().Calls().WaitCommEvent, 0u);
}

TEST_F(EventThreadTest, AssigningALineHandlerWhileOpenStartsTheThreadAndTheLastUnassignStopsIt) {
    TAimedPort port(Pair.A());
    port.Open();
    ASSERT_EQ(rtl::TThread::RunningCount(), 0);

    Notify rx([](TObject*) {}), ring([](TObject*) {});
    port.SetOnRxChar(rx);
    EXPECT_EQ(rtl::TThread::RunningCount(), 1);
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RXCHAR);

    port.SetOnRing(ring);
    EXPECT_EQ(rtl::TThread::RunningCount(), 1) << "one thread per port, whatever the handlers";
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RXCHAR | qwin::EV_RING);

    port.SetOnRxChar(nullptr);
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RING);
    port.SetOnRing(nullptr);
    EXPECT_EQ(Pair.A().EventMask(), 0u);
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_TRUE(port.Active());
}

TEST_F(EventThreadTest, SettingTheSameHandlerAgainLeavesTheDeviceAlone) {
    TAimedPort port(Pair.A());
    Notify rx([](TObject*) {});
    port.SetOnRxChar(rx);
    port.Open();
    const unsigned masks = Pair.A().Calls().SetCommMask;

    port.SetOnRxChar(rx);

    EXPECT_EQ(Pair.A().Calls().SetCommMask, masks);
}

TEST_F(EventThreadTest, HandlersAssignedWhileClosedTakeEffectAtOpenAndCloseEndsTheThread) {
    TAimedPort port(Pair.A());
    Notify cts([](TObject*) {});
    port.SetOnCTSChange(cts);
    EXPECT_EQ(rtl::TThread::RunningCount(), 0) << "a closed port has no thread";

    port.Open();
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_CTS);
    EXPECT_EQ(rtl::TThread::RunningCount(), 1);

    port.Close();
    EXPECT_TRUE(AwaitThreadsGone(Loop));
}

TEST_F(EventThreadTest, ReceivedBytesOfAPtyReachOnRxCharOnTheMainThread) {
    TPty pty;
    TAimedPort port(pty.DeviceName());
    std::string received;
    bool onMain = true;
    Notify rx([&](TObject* sender) {
        onMain = onMain && Loop.IsMainThread();
        received += static_cast<TCustomComPort*>(sender)->ReadAnsiString();
    });
    port.SetOnRxChar(rx);
    port.Open();

    pty.Feed("hello");
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 5; }));
    pty.Feed(" world");
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 11; }));

    EXPECT_EQ(received, "hello world");
    EXPECT_TRUE(onMain);
}

TEST_F(EventThreadTest, ASecondHandlerAssignedWhileWaitingDispatchesAndLogsNothingForTheWake) {
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    TPeer peer(Pair.B());
    int rxCalls = 0, txCalls = 0;
    Notify rx([&](TObject*) {
        ++rxCalls;
        port.ReadAnsiString();
    });
    Notify tx([&](TObject*) { ++txCalls; });
    port.SetOnRxChar(rx);
    port.Open();
    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 1; }));

    // The thread is back in its wait; the new mask ends that wait with no events.
    port.SetOnTxEmpty(tx);
    Loop.ProcessPending();
    EXPECT_EQ(rxCalls, 1);
    EXPECT_EQ(txCalls, 0);

    // The thread waits again, now for both events.
    peer.Send("b");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 2; }));
    port.WriteAnsiString("x");
    ASSERT_TRUE(RunUntil([&] { return txCalls == 1; }));

    EXPECT_EQ(EventLines(log),
              (std::vector<std::string>{"RxChar event", "RxChar event", "TxEmpty event"}));
}

TEST_F(EventThreadTest, SynchronizeEventsCannotChangeWhileOpen) {
    TAimedPort port(Pair.A());
    port.Open();

    port.SetSynchronizeEvents(true); // unchanged: allowed
    EXPECT_TRUE(test::Raises([&] { port.SetSynchronizeEvents(false); }, 0,
                             "Can't perform this operation on an open port"));
    EXPECT_TRUE(port.SynchronizeEvents());

    port.Close();
    port.SetSynchronizeEvents(false);
    EXPECT_FALSE(port.SynchronizeEvents());
}

// The nice value of the calling thread (Linux applies PRIO_PROCESS 0 to the caller).
int OwnNice() {
    errno = 0;
    return getpriority(PRIO_PROCESS, 0);
}

TEST_F(EventThreadTest, TheThreadRunsAtThreadPriorityFromItsStartAndFollowsChangesAtOnce) {
    if (OwnNice() > 10) GTEST_SKIP() << "the test process already runs below tpLowest";
    TAimedPort port(Pair.A());
    EXPECT_EQ(port.ThreadPriority(), rtl::tpTimeCritical);
    port.SetThreadPriority(rtl::tpLowest); // nice 10: lowering needs no privilege
    port.SetSynchronizeEvents(false);      // the handler runs on the event thread itself
    TPeer peer(Pair.B());
    std::atomic<int> niceSeen{-100};
    std::atomic<pid_t> tid{0};
    bool reported = false;
    Notify rx([&](TObject*) {
        tid = static_cast<pid_t>(syscall(SYS_gettid));
        niceSeen = OwnNice();
        Loop.Post([&] { reported = true; });
    });
    port.SetOnRxChar(rx);
    port.Open();
    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return reported; }));
    EXPECT_EQ(niceSeen.load(), 10);

    port.SetThreadPriority(rtl::tpIdle);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(tid.load())), 19);
    EXPECT_EQ(port.ThreadPriority(), rtl::tpIdle);
}

TEST_F(EventThreadTest, TheLinkNamesTheDispatchingThreadAndSeesItEndOnceStopped) {
    TAimedPort port(Pair.A());
    port.SetSynchronizeEvents(false); // the handler runs on the event thread itself
    TPeer peer(Pair.B());
    std::promise<std::shared_ptr<TComPortLink>> seen;
    bool named = false, dispatching = false;
    Notify rx([&](TObject*) {
        TComThread* self = TComThread::Current();
        named = self && self->Link()->Thread() == self;
        dispatching = self && self->State() == TComThreadState::Dispatching;
        port.ReadAnsiString();
        seen.set_value(self ? self->Link() : nullptr);
    });
    port.SetOnRxChar(rx);
    port.Open();
    peer.Send("a");
    const std::shared_ptr<TComPortLink> link = seen.get_future().get();
    ASSERT_TRUE(link);
    EXPECT_TRUE(named);
    EXPECT_TRUE(dispatching);

    port.SetOnRxChar(nullptr);
    EXPECT_EQ(link->Thread(), nullptr) << "a stopped thread is no longer the port's";
    EXPECT_TRUE(link->WaitThreadsEnded(10s));

    port.SetOnRxChar(rx); // a new thread, counted until the close ends it
    EXPECT_NE(link->Thread(), nullptr);
    EXPECT_EQ(link->ThreadsRunning(), 1);
    port.Close();
    EXPECT_TRUE(link->WaitThreadsEnded(10s));
    EXPECT_EQ(link->Thread(), nullptr);
}

// Drops what would let this process exceed a zero process limit, then sets that limit.
bool ForbidNewThreads() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
    const rlimit none{0, 0};
    return setrlimit(RLIMIT_NPROC, &none) == 0;
}

// Runs in a child process: it cannot create threads once the port is open.
int OpenThenAssignWithoutThreads(const string& device) {
    TComPort port(nullptr);
    port.SetDeviceName(device);
    int errors = 0;
    ComError error([&](TCustomComPort*, EComError&, TComAction&) { ++errors; });
    port.SetOnError(error);
    port.Open();
    if (!ForbidNewThreads()) return 2;
    Notify rx([](TObject*) {});
    try {
        port.SetOnRxChar(rx);
        return 3;
    } catch (const EComError& e) {
        if (e.ErrorCode != 0 || std::string(e.what()) != "Can't create thread") return 4;
    }
    if (errors != 1 || !port.Active()) return 5;
    // The mask is in place; the next change tries again (and fails again).
    qwin::DWORD mask = 0;
    if (!qwin::GetCommMask(port.Handle(), mask) || mask != qwin::EV_RXCHAR) return 6;
    return 0;
}

TEST_F(EventThreadTest, AThreadThatCannotBeCreatedRaisesButLeavesThePortOpenWithItsMask) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const string device = Pair.A().DeviceName();
    // _exit: the child must not run exit handlers (or a leak checker) without threads.
    EXPECT_EXIT(_exit(OpenThenAssignWithoutThreads(device)), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace quillon::eventtest
