// Many short sessions with events in flight: whatever moment a port closes or goes, its
// thread ends without touching it and nothing leaks (run under the sanitizer presets).
#include "event_pty.h"

namespace quillon::eventtest {
namespace {

using Notify = rtl::Handler<void(TObject*)>;

class EventStressTest : public EventTest {};

constexpr int kCycles = 1000;

TEST_F(EventStressTest, OpenCloseAndDestroyWithEventsInFlight) {
    TPeer peer(Pair.B());
    int rxCalls = 0;
    for (int i = 0; i < kCycles; ++i) {
        auto port = std::make_unique<TAimedPort>(Pair.A());
        TComPort* current = port.get();
        Notify rx([&rxCalls, current](TObject*) {
            ++rxCalls;
            current->ReadAnsiString();
        });
        port->SetOnRxChar(rx);
        port->SetOnTxEmpty(rx);
        port->Open();
        peer.Send("ab");
        port->WriteAnsiString("x");
        switch (i % 4) {
        case 0:
            port->Close();
            break; // the wake-up is still on its way
        case 1: {  // this one is seen through
            const int before = rxCalls;
            ASSERT_TRUE(RunUntil([&] { return rxCalls > before; }));
            break;
        }
        case 2:
            port->SetOnRxChar(nullptr);
            port->SetOnTxEmpty(nullptr);
            break;
        case 3:
            break; // destroyed while open
        }
        port.reset();
    }
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_GE(rxCalls, kCycles / 4);
}

TEST_F(EventStressTest, UnsynchronisedSessionsEndCleanly) {
    TPeer peer(Pair.B());
    std::atomic<int> rxCalls{0};
    Notify rx([&rxCalls](TObject*) { ++rxCalls; });
    for (int i = 0; i < kCycles; ++i) {
        TAimedPort port(Pair.A());
        port.SetSynchronizeEvents(false);
        port.SetOnRxChar(rx);
        port.Open();
        peer.Send("a");
        if (i % 2) port.Close();
    }
    EXPECT_TRUE(AwaitThreadsGone(Loop));
}

TEST_F(EventStressTest, PtySessionsEndCleanly) {
    TPty pty;
    int rxCalls = 0;
    for (int i = 0; i < kCycles / 10; ++i) {
        TAimedPort port(pty.DeviceName());
        Notify rx([&](TObject*) {
            ++rxCalls;
            port.ReadAnsiString();
        });
        port.SetOnRxChar(rx);
        port.Open();
        pty.Feed("ab");
        if (i % 2) {
            const int before = rxCalls;
            ASSERT_TRUE(RunUntil([&] { return rxCalls > before; }));
        }
    }
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_GE(rxCalls, kCycles / 20);
}

} // namespace
} // namespace quillon::eventtest
