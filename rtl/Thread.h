#pragma once
// Threads that can hand work to the main thread and wait for it.
#include "rtl/Exceptions.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace rtl {

namespace detail {
class OsThread;
}

/// Raised by TThread::Synchronize when no main loop is bound to a thread: nobody would run
/// the call, and running it on the calling thread would break the caller's assumption.
class ENoMainLoop : public Exception {
  public:
    /// The error with its message naming the missing call.
    ENoMainLoop();
};

/// Raised by a Synchronize the thread's owner gave up on (see AbandonSynchronize).
class ESyncAbandoned : public Exception {
  public:
    /// The error with Reason as its message.
    using Exception::Exception;
};

/// A thread's priority, from idle to time-critical (nice 19 to -15).
enum TThreadPriority : uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

/// A thread object: Execute runs on a thread of its own.
class TThread {
  public:
    /// Nothing runs until Start(): a derived class not created suspended calls Start() as
    /// the last step of its constructor, so Execute sees a fully built object.
    explicit TThread(bool CreateSuspended);
    /// True when created without starting.
    bool CreatedSuspended() const { return createSuspended_; }
    /// Terminates and joins the thread (a thread deleting itself detaches).
    virtual ~TThread();
    /// Not copyable.
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    /// Starts Execute on a new thread (once).
    void Start();
    /// Asks Execute to stop; it looks at Terminated.
    void Terminate();
    /// True once Terminate was called.
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    /// True when the thread deletes itself after Execute.
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    /// Makes the thread delete itself after Execute.
    void SetFreeOnTerminate(bool v) { freeOnTerminate_ = v; }
    /// The priority asked for.
    TThreadPriority Priority() const { return priority_.load(); }
    /// Applies what the process may set (nice levels); keeps the value either way.
    void SetPriority(TThreadPriority p);
    /// True once Execute has returned.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    /// Waits until Execute has returned (not for free-on-terminate threads).
    void WaitFor();
    /// The stack the thread reserves when started; 0 (the default) is the system's.
    size_t StackSize() const { return stackSize_; }
    /// Sets what Start reserves; no effect once started.
    void SetStackSize(size_t bytes) { stackSize_ = bytes; }

    /// Runs fn on the main thread and waits for it; an exception fn raises is raised again
    /// here. On the main thread fn runs at once. Raises ENoMainLoop when no main loop is
    /// bound, and ESyncAbandoned once the calling thread's Synchronize was abandoned.
    static void Synchronize(const std::function<void()>& fn);
    /// Makes this thread's pending and later Synchronize calls raise ESyncAbandoned with
    /// Reason instead of waiting; a queued call that has not started is dropped. Any thread.
    void AbandonSynchronize(const std::string& Reason);
    /// The TThread the caller runs on, or none.
    static TThread* Current();
    /// Number of TThread objects whose Execute has not yet returned (all of the process).
    static int RunningCount();
    /// Waits until RunningCount() is 0 or the timeout passes; returns whether it is 0.
    static bool WaitForAll(int timeoutMs);

  protected:
    /// The thread's work.
    virtual void Execute() = 0;
    /// Called on the thread after Execute returned (or raised).
    virtual void DoTerminate() {}
    /// The exception that ended Execute, if any.
    std::exception_ptr FatalException() const { return fatal_; }

  private:
    void Run();
    void ApplyPriority();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> started_{false};
    std::atomic<TThreadPriority> priority_{tpNormal};
    std::atomic<int> tid_{0};
    bool freeOnTerminate_ = false;
    bool createSuspended_;
    size_t stackSize_ = 0;
    std::exception_ptr fatal_;
    std::mutex startMu_;
    struct SyncCall;
    std::mutex syncMu_;
    std::shared_ptr<SyncCall> syncPending_; // the call this thread waits for, if any
    std::string syncAbandoned_;             // not empty once abandoned
    std::unique_ptr<detail::OsThread> thread_;
};

} // namespace rtl
