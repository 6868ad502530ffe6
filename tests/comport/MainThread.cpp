// The test program's main thread is the components' main thread: synchronised event
// dispatches wait for it instead of running on whichever thread first touched the loop.
#include "MainThread.h"

#include "rtl/MainLoop.h"
#include "rtl/Thread.h"

#include <gtest/gtest.h>
#include <thread>

namespace quillon::test {

namespace {

class TMainThread : public ::testing::Environment {
  public:
    void SetUp() override { rtl::PlainLoop().BindToCurrentThread(); }
};

[[maybe_unused]] auto* const kMainThread = ::testing::AddGlobalTestEnvironment(new TMainThread);

} // namespace

bool AwaitEventThreadsGone() {
    // A thread's end does not wake the loop; this waker turns it into a posted task.
    std::thread waker([] {
        rtl::TThread::WaitForAll(10000);
        rtl::PlainLoop().Post([] {});
    });
    bool gone = rtl::PlainLoop().RunUntil([] { return rtl::TThread::RunningCount() == 0; });
    waker.join();
    return gone;
}

} // namespace quillon::test
