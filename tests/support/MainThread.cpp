#include "MainThread.h"

#include "rtl/Thread.h"

#include <atomic>
#include <memory>
#include <thread>

namespace quillon_test {

bool AwaitThreadsGone(rtl::TPlainLoop& loop) {
    // A thread's end does not wake the loop; this waiter turns it into a posted task.
    auto done = std::make_shared<std::atomic<bool>>(false);
    bool ok = false;
    std::thread waiter([&ok, &loop, done] {
        ok = rtl::TThread::WaitForAll(10000);
        loop.Post([done] { *done = true; });
    });
    loop.RunUntil([&] { return done->load(); }, std::chrono::seconds(20));
    waiter.join();
    return ok;
}

} // namespace quillon_test
