// A handler that leaves received bytes unread is called again only when more arrive, as
// the device reports a reception once: the event thread does not spin on them meanwhile.
#include "../comport/event_pty.h"
#include "ProcessProbe.h"

namespace quillon::reliability {
namespace {

using namespace std::chrono_literals;
using eventtest::EventTest;
using Notify = rtl::Handler<void(TObject*)>;

class UnreadInput : public EventTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnreadInput, OneCallPerArrivalAndNoSpinning) {
    const bool synchronised = GetParam();
    eventtest::TPty pty;
    TComPort port(nullptr);
    port.SetDeviceName(pty.DeviceName());
    port.SetSynchronizeEvents(synchronised);
    std::atomic<int> calls{0};
    Notify rx([&](TObject*) {
        ++calls;
        Loop.Wake();
    });
    port.SetOnRxChar(rx);
    port.Open();

    pty.Feed("0123456789");
    // A pty may hand the bytes on in two arrivals, each reported once.
    ASSERT_TRUE(RunUntil([&] { return calls >= 1 && port.InputCount() == 10; }));
    // The second that follows: the bytes stay queued, nothing new arrives.
    const int callsBefore = calls;
    const double cpuBefore = ProcessCpuMs();
    Loop.RunUntil([] { return false; }, 1s);
    const double cpuSpent = ProcessCpuMs() - cpuBefore;
    // The last piece of the bytes may have been on its way still: one call more at most.
    EXPECT_LE(calls - callsBefore, 1) << "called again for bytes already reported";
    EXPECT_LT(cpuSpent, 50.0) << "ms of CPU while the bytes waited";
    EXPECT_EQ(port.InputCount(), 10u);

    const int callsIdle = calls;
    pty.Feed("x");
    ASSERT_TRUE(RunUntil([&] { return calls > callsIdle; })) << "a new byte went unreported";
    port.Close();
    RecordProperty("cpu_ms_idle_second", std::to_string(cpuSpent));
}

INSTANTIATE_TEST_SUITE_P(Dispatch, UnreadInput, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Synchronised" : "OnTheEventThread");
});

} // namespace
} // namespace quillon::reliability
