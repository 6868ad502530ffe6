// Opening, receiving a burst and closing or destroying the port at a random moment, a
// thousand times, with synchronised and unsynchronised dispatch: no handler runs once the
// port has closed (synchronised) or is destroyed, and every round gives back its threads
// and descriptors.
#include "../comport/Peer.h"
#include "../comport/event_pty.h"
#include "ProcessProbe.h"

#include <random>

namespace quillon::reliability {
namespace {

using namespace std::chrono_literals;
using eventtest::EventTest;
using Notify = rtl::Handler<void(TObject*)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;

using LifecycleRace = EventTest;

TEST_F(LifecycleRace, CloseOrDestroyAtARandomMomentLeavesNothingBehind) {
    test::TPty pty;
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> offsetMs(0, 5);
    std::uniform_int_distribution<size_t> burstSize(1, 4096);
    std::uniform_int_distribution<int> byte(0, 255);
    std::bernoulli_distribution destroy(0.5);

    const std::set<int> threadsBefore = ThreadIds();
    const int fdsBefore = OpenFdCount();
    const int rounds = 1000;
    std::atomic<int> lateHandlers{0};
    int dispatches = 0, destroyed = 0, synchronised = 0;

    for (int round = 0; round < rounds; ++round) {
        const bool sync = round % 2 == 0;
        std::atomic<bool> ended{false};
        std::atomic<int> calls{0};
        auto* port = new TComPort(nullptr);
        port->SetDeviceName(pty.DeviceName());
        port->SetSynchronizeEvents(sync);
        // On the main thread the handler reads as the console does; on the event thread it
        // only counts, since the main thread closes the port meanwhile.
        Notify rx([&, port, sync](TObject*) {
            if (ended) {
                ++lateHandlers;
                return;
            }
            ++calls;
            if (sync) port->ReadAnsiString();
        });
        // Synchronised, nothing runs once AfterClose has run. On the event thread a handler
        // that had begun may still be running then (it runs alongside the main thread), but
        // none runs once the port is destroyed.
        bool closed = false;
        OpenClose afterClose([&, sync](TCustomComPort*) {
            closed = true;
            if (sync) ended = true;
        });
        port->SetOnRxChar(rx);
        port->SetAfterClose(afterClose);
        port->Open();

        std::string burst(burstSize(rng), '\0');
        for (char& c : burst)
            c = static_cast<char>(byte(rng));
        pty.Feed(burst);

        // A deliberate random delay during which the loop serves dispatches.
        Loop.RunUntil([] { return false; }, std::chrono::milliseconds(offsetMs(rng)));
        const bool destroying = destroy(rng);
        if (destroying) {
            delete port;
            ++destroyed;
        } else {
            port->Close();
            delete port;
        }
        ended = true;
        EXPECT_TRUE(closed) << "AfterClose was not called";
        ASSERT_TRUE(eventtest::AwaitThreadsGone(Loop)) << "round " << round;
        Loop.ProcessPending();
        ASSERT_TRUE(AwaitThreadsBackTo(threadsBefore, 5s)) << "round " << round;
        ASSERT_EQ(OpenFdCount(), fdsBefore) << "round " << round;
        ASSERT_EQ(lateHandlers, 0)
            << "round " << round << (sync ? ", synchronised" : ", on the event thread")
            << (destroying ? ", destroyed" : ", closed");
        dispatches += calls;
        synchronised += sync;
        // What the round left in the pty is discarded by the next open.
    }
    EXPECT_GT(dispatches, 0);
    EXPECT_GT(destroyed, 0);
    EXPECT_LT(destroyed, rounds);
    RecordProperty("rounds", rounds);
    RecordProperty("dispatches", dispatches);
}

} // namespace
} // namespace quillon::reliability
