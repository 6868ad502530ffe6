#include "rtl/Thread.h"

#include "rtl/MainLoop.h"
#include "rtl/ThreadOs.h"

#include <condition_variable>
#include <mutex>

namespace rtl {

namespace {
// Never destroyed: a self-freeing thread may still be leaving while the process exits.
std::mutex& g_countMu = *new std::mutex;
std::condition_variable& g_countCv = *new std::condition_variable;
int g_running = 0;
thread_local TThread* tlsCurrent = nullptr;
} // namespace

TThread::TThread(bool CreateSuspended) : createSuspended_(CreateSuspended) {}

TThread::~TThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            Terminate();
            thread_.join();
        }
    }
}

void TThread::Start() {
    if (started_.exchange(true)) return;
    {
        std::lock_guard lock(g_countMu);
        ++g_running;
    }
    std::lock_guard lock(startMu_); // Run must not detach before thread_ is assigned
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        std::lock_guard countLock(g_countMu);
        --g_running;
        started_ = false;
        throw;
    }
}

void TThread::Terminate() {
    terminated_.store(true, std::memory_order_release);
}

void TThread::SetPriority(TThreadPriority p) {
    priority_.store(p);
    if (tid_.load() != 0) ApplyPriority();
}

void TThread::ApplyPriority() {
    detail::SetThreadPriority(tid_.load(), priority_.load());
}

void TThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

ENoMainLoop::ENoMainLoop()
    : Exception("No main loop is bound: call rtl::PlainLoop().BindToCurrentThread() on the "
                "main thread, or install the Qt loop, before a thread synchronises with it") {}

struct TThread::SyncCall {
    std::mutex mu;
    std::condition_variable cv;
    bool started = false; // the main thread runs fn: the waiter must see it through
    bool done = false;
    std::string abandoned;
    std::exception_ptr error;
};

TThread* TThread::Current() {
    return tlsCurrent;
}

void TThread::Run() {
    tlsCurrent = this;
    tid_.store(detail::CurrentThreadId());
    ApplyPriority();
    try {
        Execute();
    } catch (...) {
        fatal_ = std::current_exception();
    }
    try {
        DoTerminate();
    } catch (...) {
    }
    bool selfFree = freeOnTerminate_;
    finished_.store(true, std::memory_order_release);
    if (selfFree) {
        { std::lock_guard lock(startMu_); }
        thread_.detach();
        delete this;
    }
    // Notify under the lock, so a waiter that sees 0 finds the notification already done.
    std::lock_guard lock(g_countMu);
    --g_running;
    g_countCv.notify_all();
}

void TThread::Synchronize(const std::function<void()>& fn) {
    IMainLoop& loop = MainLoop();
    if (!loop.IsBound()) throw ENoMainLoop();
    if (loop.IsMainThread()) {
        fn();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    TThread* self = Current();
    if (self) {
        std::lock_guard lock(self->syncMu_);
        if (!self->syncAbandoned_.empty()) throw ESyncAbandoned(self->syncAbandoned_);
        self->syncPending_ = call;
    }
    // The task keeps the record: an abandoned waiter leaves before the task runs.
    loop.Post([call, fn] {
        {
            std::lock_guard lock(call->mu);
            if (!call->abandoned.empty()) return;
            call->started = true;
        }
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(call->mu);
        call->error = error;
        call->done = true;
        call->cv.notify_one();
    });
    std::unique_lock lock(call->mu);
    call->cv.wait(lock, [&] { return call->done || !call->abandoned.empty(); });
    const bool abandoned = !call->done;
    lock.unlock();
    if (self) {
        std::lock_guard selfLock(self->syncMu_);
        self->syncPending_.reset();
    }
    if (abandoned) throw ESyncAbandoned(call->abandoned);
    if (call->error) std::rethrow_exception(call->error);
}

void TThread::AbandonSynchronize(const std::string& Reason) {
    std::lock_guard lock(syncMu_);
    syncAbandoned_ = Reason;
    if (!syncPending_) return;
    std::lock_guard callLock(syncPending_->mu);
    if (syncPending_->started) return; // fn runs on the main thread: it will return
    syncPending_->abandoned = Reason;
    syncPending_->cv.notify_one();
}

int TThread::RunningCount() {
    std::lock_guard lock(g_countMu);
    return g_running;
}

bool TThread::WaitForAll(int timeoutMs) {
    std::unique_lock lock(g_countMu);
    return g_countCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [] { return g_running == 0; });
}

} // namespace rtl
