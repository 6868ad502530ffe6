#include "rtl/MainLoop.h"

#include "rtl/Thread.h"
#include "rtl/ThreadOs.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace rtl {

namespace {
IMainLoop* g_installed = nullptr;
}

TPlainLoop& PlainLoop() {
    static TPlainLoop loop;
    return loop;
}

IMainLoop& MainLoop() {
    return g_installed ? *g_installed : PlainLoop();
}

void SetMainLoop(IMainLoop* loop) {
    g_installed = loop;
}

struct TPlainLoop::Impl {
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds interval;
        std::chrono::milliseconds due; // on the loop's clock
        Task tick;
    };

    mutable std::mutex mu;
    std::atomic<uint32_t> posted{0};   // moves on every change a sleeping loop must see
    std::atomic<uint32_t> sleepers{0}; // a poster makes no call when nobody sleeps
    std::deque<Task> tasks;
    std::map<TimerId, Timer> timers;
    TimerId nextId = 1;
    std::thread::id owner =
        rtl::TThread::Current() ? std::thread::id() : std::this_thread::get_id();
    bool quit = false;
    bool manual = false;
    std::chrono::milliseconds manualNow{0};
    Clock::time_point epoch = Clock::now();

    std::chrono::milliseconds NowLocked() const {
        if (manual) return manualNow;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch);
    }

    // Runs one queued task or one due timer; false when there was nothing to do.
    bool RunOne(std::unique_lock<std::mutex>& lock) {
        if (!tasks.empty()) {
            Task t = std::move(tasks.front());
            tasks.pop_front();
            lock.unlock();
            t();
            lock.lock();
            return true;
        }
        auto now = NowLocked();
        for (auto& [id, timer] : timers) {
            if (timer.due <= now) {
                timer.due = now + timer.interval;
                Task tick = timer.tick; // the tick may stop or restart its own timer
                lock.unlock();
                tick();
                lock.lock();
                return true;
            }
        }
        return false;
    }

    // Under the lock, with nothing to run: sleeps until something is posted or wait passes.
    // What is posted after the lock is let go moves `posted` first, so it is never missed.
    void Sleep(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds wait) {
        const uint32_t seen = posted.load();
        sleepers.fetch_add(1);
        lock.unlock();
        const bool forever = wait == std::chrono::milliseconds::max();
        detail::WaitWord(posted, seen,
                         forever ? -1
                                 : static_cast<int>(std::min<int64_t>(wait.count(), INT32_MAX)));
        sleepers.fetch_sub(1);
        lock.lock();
    }

    void Wake() {
        posted.fetch_add(1);
        if (sleepers.load() > 0) detail::WakeWord(posted, true);
    }

    // How long the loop may sleep before the next timer falls due (real clock only).
    std::chrono::milliseconds NextWait() const {
        if (manual || timers.empty()) return std::chrono::milliseconds::max();
        auto now = NowLocked();
        auto best = std::chrono::milliseconds::max();
        for (auto& [id, timer] : timers)
            best = std::min(best, timer.due - now);
        return std::max(best, std::chrono::milliseconds(0));
    }
};

TPlainLoop::TPlainLoop() : impl_(new Impl) {}
TPlainLoop::~TPlainLoop() {
    delete impl_;
}

void TPlainLoop::Post(Task fn) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->tasks.push_back(std::move(fn));
    }
    impl_->Wake();
}

bool TPlainLoop::IsMainThread() const {
    std::lock_guard lock(impl_->mu);
    return std::this_thread::get_id() == impl_->owner;
}

bool TPlainLoop::IsBound() const {
    std::lock_guard lock(impl_->mu);
    return impl_->owner != std::thread::id();
}

void TPlainLoop::BindToCurrentThread() {
    std::lock_guard lock(impl_->mu);
    impl_->owner = std::this_thread::get_id();
}

IMainLoop::TimerId TPlainLoop::StartTimer(int intervalMs, Task tick) {
    std::lock_guard lock(impl_->mu);
    TimerId id = impl_->nextId++;
    auto interval = std::chrono::milliseconds(intervalMs);
    impl_->timers[id] = Impl::Timer{interval, impl_->NowLocked() + interval, std::move(tick)};
    impl_->Wake();
    return id;
}

void TPlainLoop::StopTimer(TimerId id) {
    std::lock_guard lock(impl_->mu);
    impl_->timers.erase(id);
}

void TPlainLoop::Run() {
    std::unique_lock lock(impl_->mu);
    impl_->quit = false;
    while (!impl_->quit) {
        if (!impl_->RunOne(lock)) impl_->Sleep(lock, impl_->NextWait());
    }
}

void TPlainLoop::Quit() {
    {
        std::lock_guard lock(impl_->mu);
        impl_->quit = true;
    }
    impl_->Wake();
}

bool TPlainLoop::RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    auto deadline = Impl::Clock::now() + timeout;
    std::unique_lock lock(impl_->mu);
    for (;;) {
        lock.unlock();
        bool done = pred();
        lock.lock();
        if (done) return true;
        if (impl_->RunOne(lock)) continue;
        auto now = Impl::Clock::now();
        if (now >= deadline) break;
        // Rounded up: waking a fraction early would only go round again.
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        impl_->Sleep(lock, std::min(wait, impl_->NextWait()));
    }
    lock.unlock();
    return pred();
}

void TPlainLoop::ProcessPending() {
    std::unique_lock lock(impl_->mu);
    // Only what is queued now: tasks posted meanwhile wait for the next call.
    size_t n = impl_->tasks.size();
    while (n-- > 0 && !impl_->tasks.empty()) {
        Task t = std::move(impl_->tasks.front());
        impl_->tasks.pop_front();
        lock.unlock();
        t();
        lock.lock();
    }
    auto now = impl_->NowLocked();
    std::vector<TimerId> due;
    for (auto& [id, timer] : impl_->timers)
        if (timer.due <= now) due.push_back(id);
    for (TimerId id : due) {
        auto it = impl_->timers.find(id);
        if (it == impl_->timers.end()) continue;
        it->second.due = now + it->second.interval;
        Task tick = it->second.tick;
        lock.unlock();
        tick();
        lock.lock();
    }
}

void TPlainLoop::UseManualClock() {
    std::lock_guard lock(impl_->mu);
    impl_->manual = true;
    impl_->manualNow = std::chrono::milliseconds(0);
    impl_->timers.clear();
}

void TPlainLoop::Advance(std::chrono::milliseconds by) {
    std::unique_lock lock(impl_->mu);
    auto target = impl_->manualNow + by;
    for (;;) {
        while (!impl_->tasks.empty())
            impl_->RunOne(lock);
        TimerId next = 0;
        auto best = std::chrono::milliseconds::max();
        for (auto& [id, timer] : impl_->timers)
            if (timer.due <= target && timer.due < best) {
                best = timer.due;
                next = id;
            }
        if (next == 0) break;
        impl_->manualNow = std::max(impl_->manualNow, best);
        auto& timer = impl_->timers[next];
        timer.due = impl_->manualNow + timer.interval;
        Task tick = timer.tick;
        lock.unlock();
        tick();
        lock.lock();
    }
    impl_->manualNow = target;
}

std::chrono::milliseconds TPlainLoop::Now() const {
    std::lock_guard lock(impl_->mu);
    return impl_->NowLocked();
}

} // namespace rtl
