// A pending event wait and a pending read sleep: the process spends next to no CPU while
// nothing happens, on either device, and on a tty whose modem lines are watched.
#include "device_fixture.h"
#include "posix_pty.h"

namespace quillon_test {
namespace {

using Idle = DeviceContract;

TEST_P(Idle, PendingWaitAndReadCostNoCpu) {
    StartPendingRead(16);
    StartPendingWait(EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR | EV_CTS | EV_DSR | EV_RING);
    const double before = CpuMs();
    EXPECT_FALSE(ev.Done(1000));
    EXPECT_LT(CpuMs() - before, 5.0);
    ASSERT_TRUE(SetCommMask(port, 0)); // and it still wakes
    EXPECT_TRUE(ev.Done());
}

INSTANTIATE_ON_BOTH_DEVICES(Idle);

// The devices with modem lines that the list above does not have already.
std::vector<Backend> WithLinesOnly() {
    std::vector<Backend> extra;
    for (const Backend& b : LineDevices()) {
        const auto same = [&](const Backend& d) { return std::string(d.name) == b.name; };
        if (std::none_of(Devices().begin(), Devices().end(), same)) extra.push_back(b);
    }
    return extra;
}

INSTANTIATE_TEST_SUITE_P(LineDevices, Idle, testing::ValuesIn(WithLinesOnly()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillon_test
