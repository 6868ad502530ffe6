// Handler changes while the event thread waits: each change ends the wait with an empty
// mask, nothing is dispatched or logged for it, and the thread is never left asleep.
#include "../comport/event_pty.h"

namespace quillon::reliability {
namespace {

using namespace std::chrono_literals;
using eventtest::EventTest;
using Notify = rtl::Handler<void(TObject*)>;

class MaskChange : public EventTest {
  protected:
    int Rx = 0, Others = 0;
    Notify OnRx{[this](TObject*) { ++Rx; }};
    Notify First{[this](TObject*) { ++Others; }};
    Notify Second{[this](TObject*) { ++Others; }};

    /// Change i of a series: CTS on and off (the mask changes), or the break handler
    /// swapped for another (the mask stays; the device is still told).
    void Change(TComPort& port, int i) {
        if (i % 2 == 0)
            port.SetOnCTSChange(port.OnCTSChange() ? TNotifyEvent() : TNotifyEvent(First));
        else
            port.SetOnBreak(port.OnBreak() == TNotifyEvent(First) ? TNotifyEvent(Second)
                                                                  : TNotifyEvent(First));
    }
};

TEST_F(MaskChange, EachChangeWhileWaitingEndsThatWaitEmptyAndTheNextByteStillComes) {
    TComPort port(nullptr);
    Aim(port);
    const std::string log = LogTo(port);
    port.SetOnRxChar(OnRx);
    eventtest::TPeer peer(Pair.B());
    port.Open();
    const int changes = 10000;

    const qvirt::TEnd end = Pair.A();
    ASSERT_TRUE(end.AwaitPendingWait(10s));
    const unsigned waitsBefore = end.Calls().WaitCommEvent;
    for (int i = 0; i < changes; ++i) {
        Change(port, i);
        ASSERT_TRUE(end.AwaitPendingWait(10s)) << "no new wait after change " << i;
    }
    // One new wait per change: every wait ended through its change, none on its own.
    EXPECT_EQ(end.Calls().WaitCommEvent - waitsBefore, unsigned(changes));
    Loop.ProcessPending();
    EXPECT_EQ(Rx + Others, 0) << "a handler ran for a mask change";

    peer.Send("x");
    ASSERT_TRUE(RunUntil([&] { return Rx == 1; })) << "the wake after the changes was lost";
    port.Close();
    EXPECT_EQ(EventLines(log), std::vector<std::string>{"RxChar event"});
    EXPECT_EQ(Others, 0);
    EXPECT_TRUE(Shown.empty());
}

TEST_F(MaskChange, ChangesAtAnyMomentOnAPtyNeverLoseTheNextByte) {
    eventtest::TPty pty;
    TComPort port(nullptr);
    port.SetDeviceName(pty.DeviceName());
    const std::string log = LogTo(port);
    port.SetOnRxChar(OnRx);
    port.Open();
    const int changes = 10000;
    for (int i = 0; i < changes; ++i)
        Change(port, i);
    Loop.ProcessPending();
    EXPECT_EQ(Rx + Others, 0);

    pty.Feed("x");
    ASSERT_TRUE(RunUntil([&] { return Rx == 1; })) << "the wake after the changes was lost";
    port.Close();
    EXPECT_EQ(EventLines(log), std::vector<std::string>{"RxChar event"});
    EXPECT_EQ(Others, 0);
}

} // namespace
} // namespace quillon::reliability
