// How the events of one wait reach the handlers: table order, log lines, one guard per
// dispatch, the thread they run on, and dispatches that find their port gone.
#include "event_fixture.h"

#include <condition_variable>
#include <future>
#include <mutex>

namespace quillon::eventtest {
namespace {

using Notify = rtl::Handler<void(TObject*)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;
using LineError = rtl::Handler<void(TObject*, TLineErrors)>;

class DispatchTest : public EventTest {};

// Several events reach one wait when they happen while the thread is held in the
// dispatch of an earlier one: the tests below cause them from a ring handler.

TEST_F(DispatchTest, RxCharAndTxEmptyOfOneWaitAreDispatchedAndLoggedInTableOrder) {
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    TPeer peer(Pair.B());
    std::vector<std::string> calls;
    Notify ring([&](TObject*) {
        calls.push_back("ring");
        port.WriteAnsiString("x"); // EV_TXEMPTY first in time...
        peer.Send("a");            // ...EV_RXCHAR second, yet dispatched first
    });
    Notify rx([&](TObject*) {
        calls.push_back("rx");
        port.ReadAnsiString();
    });
    Notify tx([&](TObject*) { calls.push_back("tx"); });
    port.SetOnTxEmpty(tx);
    port.SetOnRxChar(rx);
    port.SetOnRing(ring);
    port.Open();

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return calls.size() == 3; }));

    EXPECT_EQ(calls, (std::vector<std::string>{"ring", "rx", "tx"}));
    EXPECT_EQ(EventLines(log),
              (std::vector<std::string>{"Ring event", "RxChar event", "TxEmpty event"}));
}

TEST_F(DispatchTest, ARaisingHandlerSkipsOnlyTheRestOfItsDispatch) {
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    TPeer peer(Pair.B());
    int rxCalls = 0, txCalls = 0;
    Notify ring([&](TObject*) {
        peer.Send("a");
        port.WriteAnsiString("x");
    });
    Notify rx([&](TObject*) {
        port.ReadAnsiString();
        if (++rxCalls == 1) throw rtl::Exception("handler failed");
    });
    Notify tx([&](TObject*) { ++txCalls; });
    port.SetOnRing(ring);
    port.SetOnRxChar(rx);
    port.SetOnTxEmpty(tx);
    port.Open();

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return !Shown.empty(); }));
    Loop.ProcessPending();
    EXPECT_EQ(txCalls, 0) << "the TxEmpty of the failed dispatch is skipped";

    peer.Send("b");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 2; }));
    port.WriteAnsiString("y");
    ASSERT_TRUE(RunUntil([&] { return txCalls == 1; }));

    EXPECT_EQ(Shown, (std::vector<std::string>{"handler failed"}));
    EXPECT_EQ(EventLines(log), (std::vector<std::string>{"Ring event", "RxChar event",
                                                         "RxChar event", "TxEmpty event"}));
}

TEST_F(DispatchTest, ASilentAbortInAHandlerIsNotShownAndTheThreadGoesOn) {
    TAimedPort port(Pair.A());
    TPeer peer(Pair.B());
    int rxCalls = 0;
    Notify rx([&](TObject*) {
        port.ReadAnsiString();
        if (++rxCalls == 1) rtl::Abort();
    });
    port.SetOnRxChar(rx);
    port.Open();

    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 1; }));
    peer.Send("b");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 2; }));

    EXPECT_TRUE(Shown.empty());
}

TEST_F(DispatchTest, ALineErrorEventWithNothingPendingIsLoggedAndCallsNoHandler) {
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    int lineErrors = 0;
    Notify ring([&](TObject*) {
        Pair.A().InjectLineError(qwin::CE_FRAME); // raises EV_ERR...
        port.ClearLineErrors();                   // ...and nothing is left to report
    });
    LineError onLineError([&](TObject*, TLineErrors) { ++lineErrors; });
    port.SetOnRing(ring);
    port.SetOnLineError(onLineError);
    port.Open();

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return EventLines(log).size() == 2; }));

    EXPECT_EQ(EventLines(log), (std::vector<std::string>{"Ring event", "LineError event"}));
    EXPECT_EQ(lineErrors, 0);
}

TEST_F(DispatchTest, APendingLineErrorReachesOnLineErrorWithItsSet) {
    TAimedPort port(Pair.A());
    std::vector<TLineErrors> reported;
    TObject* sender = nullptr;
    LineError onLineError([&](TObject* s, TLineErrors errors) {
        sender = s;
        reported.push_back(errors);
    });
    port.SetOnLineError(onLineError);
    port.Open();

    Pair.A().InjectLineError(qwin::CE_RXPARITY);
    ASSERT_TRUE(RunUntil([&] { return !reported.empty(); }));

    EXPECT_EQ(reported, (std::vector<TLineErrors>{TLineErrors{leParity}}));
    EXPECT_EQ(sender, &port);
}

// One line event per row: the handler it calls and the log line it writes.
struct LineEventRow {
    const char* LogLine;
    void (TCustomComPort::*Assign)(TNotifyEvent);
    void (*Prepare)(TCustomComPort& port);
    void (*Cause)(qvirt::TPair& pair, TPeer& peer, TCustomComPort& port);
};

void PrintTo(const LineEventRow& row, std::ostream* os) {
    *os << row.LogLine;
}

class LineEventTest : public EventTest, public ::testing::WithParamInterface<LineEventRow> {};

TEST_P(LineEventTest, CallsItsHandlerWithThePortAndLogsItsLine) {
    const LineEventRow& row = GetParam();
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    if (row.Prepare) row.Prepare(port);
    TPeer peer(Pair.B()); // opened first: its own lines are up before the port listens
    std::vector<TObject*> senders;
    Notify handler([&](TObject* sender) { senders.push_back(sender); });
    (port.*row.Assign)(handler.closure());
    port.Open();

    row.Cause(Pair, peer, port);
    ASSERT_TRUE(RunUntil([&] { return !senders.empty(); }));
    Loop.ProcessPending();

    EXPECT_EQ(senders, (std::vector<TObject*>{&port}));
    EXPECT_EQ(EventLines(log), (std::vector<std::string>{row.LogLine}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryDeviceEvent, LineEventTest,
    ::testing::Values(
        LineEventRow{"Break event", &TCustomComPort::SetOnBreak, nullptr,
                     [](qvirt::TPair& p, TPeer&, TCustomComPort&) {
                         p.A().InjectLineError(qwin::CE_BREAK);
                     }},
        LineEventRow{"CTSChange event", &TCustomComPort::SetOnCTSChange, nullptr,
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.SetRts(false); }},
        LineEventRow{"DSRChange event", &TCustomComPort::SetOnDSRChange, nullptr,
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.SetDtr(false); }},
        LineEventRow{"Ring event", &TCustomComPort::SetOnRing, nullptr,
                     [](qvirt::TPair& p, TPeer&, TCustomComPort&) { p.A().PulseRing(); }},
        LineEventRow{"RLSDChange event", &TCustomComPort::SetOnRLSDChange, nullptr,
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.SetDtr(false); }},
        LineEventRow{"Rx80PercFull event", &TCustomComPort::SetOnRx80PercFull,
                     [](TCustomComPort& port) {
                         port.BufferSizes().SetInput(10);
                         port.BufferSizes().SetOutput(10);
                     },
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.Send("12345678"); }},
        LineEventRow{"RxChar event", &TCustomComPort::SetOnRxChar, nullptr,
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.Send("a"); }},
        LineEventRow{"RxFlag event", &TCustomComPort::SetOnRxFlag,
                     [](TCustomComPort& port) { port.Characters().SetEvent(u'#'); },
                     [](qvirt::TPair&, TPeer& peer, TCustomComPort&) { peer.Send("#"); }},
        LineEventRow{
            "TxEmpty event", &TCustomComPort::SetOnTxEmpty, nullptr,
            [](qvirt::TPair&, TPeer&, TCustomComPort& port) { port.WriteAnsiString("x"); }}));

TEST_F(DispatchTest, UnsynchronisedHandlersRunOnTheEventThreadAndTheirErrorsShowOnTheMainThread) {
    TAimedPort port(Pair.A());
    port.SetSynchronizeEvents(false);
    TPeer peer(Pair.B());
    std::atomic<bool> handlerOnMain{true};
    bool shownOnMain = false;
    rtl::Application().SetExceptionDisplay([&](const std::string& m) {
        shownOnMain = Loop.IsMainThread();
        Shown.push_back(m);
    });
    Notify rx([&](TObject*) {
        handlerOnMain = Loop.IsMainThread();
        port.ReadAnsiString();
        throw rtl::Exception("raised on the event thread");
    });
    port.SetOnRxChar(rx);
    port.Open();

    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return !Shown.empty(); }));

    EXPECT_FALSE(handlerOnMain.load());
    EXPECT_TRUE(shownOnMain);
    EXPECT_EQ(Shown, (std::vector<std::string>{"raised on the event thread"}));
}

TEST_F(DispatchTest, CloseFromAnUnsynchronisedHandlerIsCarriedOutOnTheMainThread) {
    TComPort* port = nullptr;      // set below: the handlers outlive the port they watch
    std::vector<std::string> seen; // written on the main thread only
    OpenClose before([&](TCustomComPort*) {
        seen.push_back(Loop.IsMainThread() ? "before close on main" : "before close elsewhere");
    });
    OpenClose after([&](TCustomComPort*) {
        seen.push_back(Loop.IsMainThread() ? "after close on main" : "after close elsewhere");
    });
    std::atomic<bool> activeAfterClose{true};
    Notify rx([&](TObject*) {
        port->Close();
        activeAfterClose = port->Active();
        port->CheckLineErrors(); // the port is closed by now: this raises
    });
    TAimedPort owned(Pair.A());
    port = &owned;
    owned.SetSynchronizeEvents(false);
    TPeer peer(Pair.B());
    owned.SetBeforeClose(before);
    owned.SetAfterClose(after);
    owned.SetOnRxChar(rx);
    owned.Open();

    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return !Shown.empty(); }));

    EXPECT_EQ(seen, (std::vector<std::string>{"before close on main", "after close on main"}));
    EXPECT_FALSE(activeAfterClose.load());
    EXPECT_EQ(Shown, (std::vector<std::string>{"Can't perform this operation on a closed port"}));
}

TEST_F(DispatchTest, AHandlerMayDestroyItsOwnPort) {
    auto* port = new TAimedPort(Pair.A());
    TPeer peer(Pair.B());
    int rxCalls = 0, txCalls = 0;
    Notify ring([&](TObject*) {
        peer.Send("a");
        port->WriteAnsiString("x");
    });
    Notify rx([&](TObject*) {
        ++rxCalls;
        delete port;
        port = nullptr;
    });
    Notify tx([&](TObject*) { ++txCalls; });
    port->SetOnRing(ring);
    port->SetOnRxChar(rx);
    port->SetOnTxEmpty(tx);
    port->Open();

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 1; }));
    Loop.ProcessPending();

    EXPECT_EQ(txCalls, 0) << "nothing is dispatched to a port that is gone";
    EXPECT_TRUE(Shown.empty());
}

/// Forwards to the test's loop and lets the test wait until work has been posted to it.
class PostWatch : public rtl::IMainLoop {
  public:
    explicit PostWatch(rtl::TPlainLoop& inner) : FInner(inner) {}
    void Post(Task fn) override {
        FInner.Post(std::move(fn));
        std::lock_guard lock(FMu);
        ++FPosted;
        FCv.notify_all();
    }
    bool IsMainThread() const override { return FInner.IsMainThread(); }
    TimerId StartTimer(int ms, Task tick) override {
        return FInner.StartTimer(ms, std::move(tick));
    }
    void StopTimer(TimerId id) override { FInner.StopTimer(id); }
    /// Blocks until count tasks have been posted since creation.
    void AwaitPosts(int count) {
        std::unique_lock lock(FMu);
        FCv.wait(lock, [&] { return FPosted >= count; });
    }

  private:
    rtl::TPlainLoop& FInner;
    std::mutex FMu;
    std::condition_variable FCv;
    int FPosted = 0;
};

class QueuedDispatchTest : public DispatchTest {
  protected:
    PostWatch Watch{Loop};
    int RxCalls = 0;
    Notify CountRx{[this](TObject*) { ++RxCalls; }};
    std::unique_ptr<TPeer> Peer;

    void SetUp() override {
        DispatchTest::SetUp();
        rtl::SetMainLoop(&Watch);
        Peer = std::make_unique<TPeer>(Pair.B());
    }
    /// Opens the port with a counting OnRxChar and leaves one dispatch of it in the queue.
    void QueueOneRxChar(TCustomComPort& port) {
        port.SetOnRxChar(CountRx);
        port.Open();
        Peer->Send("a");
        Watch.AwaitPosts(1);
    }
};

TEST_F(QueuedDispatchTest, ADispatchQueuedWhenThePortClosesIsDiscarded) {
    TAimedPort port(Pair.A());
    QueueOneRxChar(port);
    port.Close();
    port.Open(); // a new session, with a new thread: the old dispatch is not for it
    Loop.ProcessPending();
    EXPECT_EQ(RxCalls, 0);

    Peer->Send("b");
    ASSERT_TRUE(RunUntil([&] { return RxCalls == 1; }));
}

TEST_F(QueuedDispatchTest, AnEventWhoseHandlerWentWhileQueuedIsLoggedButCallsNothing) {
    TAimedPort port(Pair.A());
    const std::string log = LogTo(port);
    Notify ring([](TObject*) {}); // keeps the thread when OnRxChar goes
    port.SetOnRing(ring);
    QueueOneRxChar(port);
    port.SetOnRxChar(nullptr);
    Loop.ProcessPending();

    EXPECT_EQ(RxCalls, 0);
    EXPECT_EQ(EventLines(log), (std::vector<std::string>{"RxChar event"}));
}

TEST_F(QueuedDispatchTest, ADispatchQueuedWhenThePortIsDestroyedIsDiscarded) {
    auto port = std::make_unique<TAimedPort>(Pair.A());
    QueueOneRxChar(*port);
    port.reset();
    Loop.ProcessPending();

    EXPECT_EQ(RxCalls, 0);
}

TEST_F(DispatchTest, DestroyingThePortEndsTheMainThreadWaitOfAnUnsynchronisedHandler) {
    auto* port = new TAimedPort(Pair.A());
    port->SetSynchronizeEvents(false);
    TPeer peer(Pair.B());
    std::promise<void> running;
    std::promise<std::string> outcome;
    bool ranOnMain = false;
    Notify rx([&](TObject*) {
        running.set_value();
        try {
            rtl::TThread::Synchronize([&] { ranOnMain = true; });
            outcome.set_value("returned");
        } catch (const rtl::Exception& e) {
            outcome.set_value(e.Message());
        }
    });
    port->SetOnRxChar(rx);
    port->Open();
    peer.Send("a");
    running.get_future().wait();

    delete port; // runs no loop: the handler's call can only end by being abandoned

    EXPECT_EQ(outcome.get_future().get(), SPortDestroyed);
    Loop.ProcessPending();
    EXPECT_FALSE(ranOnMain) << "an abandoned call is dropped, not run late";
}

TEST_F(DispatchTest, ASynchronisedDispatchWithNoMainLoopBoundIsReportedAndRunsNoHandler) {
    // A plain loop first reached from a worker thread, as in a program that never bound it.
    struct TWorker : rtl::TThread {
        std::unique_ptr<rtl::TPlainLoop> Made;
        TWorker() : TThread(false) {}
        void Execute() override { Made = std::make_unique<rtl::TPlainLoop>(); }
    } worker;
    worker.Start();
    worker.WaitFor();
    rtl::SetMainLoop(worker.Made.get());
    std::promise<std::string> shown;
    rtl::Application().SetExceptionDisplay([&](const std::string& m) { shown.set_value(m); });
    std::atomic<bool> ran{false};
    Notify rx([&](TObject*) { ran = true; });
    {
        TAimedPort port(Pair.A());
        TPeer peer(Pair.B());
        port.SetOnRxChar(rx);
        port.Open();
        peer.Send("a");

        const std::string message = shown.get_future().get();

        EXPECT_NE(message.find("rtl::PlainLoop().BindToCurrentThread()"), std::string::npos)
            << message;
        EXPECT_FALSE(ran.load());
    }
    rtl::SetMainLoop(&Loop);
}

} // namespace
} // namespace quillon::eventtest
