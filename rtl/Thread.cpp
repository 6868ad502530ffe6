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
    if (!thread_) return;
    if (thread_->IsCurrent()) {
        thread_->Detach();
    } else {
        Terminate();
        thread_->Join();
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
        thread_ = std::make_unique<detail::OsThread>([this] { Run(); }, stackSize_);
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
    if (!thread_ || thread_->IsCurrent()) return;
    thread_->Join();
    thread_.reset();
}

ENoMainLoop::ENoMainLoop()
    : Exception("No main loop is bound: call rtl::PlainLoop().BindToCurrentThread() on the "
                "main thread, or install the Qt loop, before a thread synchronises with it") {}

struct TThread::SyncCall {
    enum : uint32_t { Queued, Started, Done, Abandoned, Stage = 3, Asleep = 4 };
    // Queued -> Started -> Done by the main thread, or Queued -> Abandoned by the owner;
    // once Started the waiter sees it through. Asleep: the waiter needs a wake-up call.
    std::atomic<uint32_t> state{Queued};

    // From Queued only; false when the call is already past it.
    bool Leave(uint32_t to) {
        uint32_t s = state.load();
        do
            if ((s & Stage) != Queued) return false;
        while (!state.compare_exchange_weak(s, to | (s & Asleep)));
        return true;
    }
    void End(uint32_t to) {
        if (state.exchange(to, std::memory_order_acq_rel) & Asleep) detail::WakeWord(state, false);
    }
    uint32_t Await() {
        for (;;) {
            uint32_t s = state.load(std::memory_order_acquire);
            if ((s & Stage) >= Done) return s & Stage;
            if (!(s & Asleep) && !state.compare_exchange_weak(s, s | Asleep)) continue;
            detail::WaitWord(state, s | Asleep, -1);
        }
    }
    const std::function<void()>* fn; // the waiter's: reached only once started
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
        thread_->Detach();
        thread_.reset();
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
    call->fn = &fn;
    TThread* self = Current();
    if (self) {
        std::lock_guard lock(self->syncMu_);
        if (!self->syncAbandoned_.empty()) throw ESyncAbandoned(self->syncAbandoned_);
        self->syncPending_ = call;
    }
    // The task keeps the record: an abandoned waiter leaves before the task runs.
    loop.Post([call] {
        if (!call->Leave(SyncCall::Started)) return;
        try {
            (*call->fn)();
        } catch (...) {
            call->error = std::current_exception();
        }
        call->End(SyncCall::Done);
    });
    const uint32_t state = call->Await();
    std::string abandoned;
    if (self) {
        std::lock_guard selfLock(self->syncMu_);
        self->syncPending_.reset();
        if (state == SyncCall::Abandoned) abandoned = self->syncAbandoned_;
    }
    if (state == SyncCall::Abandoned) throw ESyncAbandoned(abandoned);
    if (call->error) std::rethrow_exception(call->error);
}

void TThread::AbandonSynchronize(const std::string& Reason) {
    std::lock_guard lock(syncMu_);
    syncAbandoned_ = Reason;
    if (!syncPending_) return;
    // A call the main thread has started will return: the waiter sees it through.
    if (syncPending_->Leave(SyncCall::Abandoned)) detail::WakeWord(syncPending_->state, false);
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
