// A pending event wait on a virtual end sleeps: the process spends next to no CPU while
// nothing happens.
#include "tests/platform/virtual_fixture.h"

#include <sys/resource.h>

namespace qvirt::test {
namespace {

std::chrono::microseconds CpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto total = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return total(usage.ru_utime) + total(usage.ru_stime);
}

using VirtualIdle = VirtualPairTest;

TEST_F(VirtualIdle, PendingWaitCostsNoCpu) {
    const HANDLE a = Open(Pair.A());
    Open(Pair.B());
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR | EV_CTS | EV_DSR | EV_RING));
    TAsync& wait = NewAsync();
    EXPECT_FAILS_WITH(WaitCommEvent(a, &wait.Events, &wait.Ov), ERROR_IO_PENDING);

    const auto before = CpuTime();
    EXPECT_EQ(WaitForSingleObject(wait.Ov.hEvent, 1000), WAIT_TIMEOUT);
    const auto spent = CpuTime() - before;
    EXPECT_LT(spent, std::chrono::milliseconds(5));

    ASSERT_TRUE(SetCommMask(a, 0)); // and it still wakes
    EXPECT_TRUE(wait.Done());
}

} // namespace
} // namespace qvirt::test
