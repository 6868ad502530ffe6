#pragma once
// Threads that can hand work to the main thread and wait for it.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace rtl {

enum TThreadPriority : uint8_t {
    tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical
};

class TThread {
public:
    /// Nothing runs until Start(): a derived class not created suspended calls Start() as
    /// the last step of its constructor, so Execute sees a fully built object.
    explicit TThread(bool CreateSuspended);
    bool CreatedSuspended() const { return createSuspended_; }
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    /// Starts Execute on a new thread (once).
    void Start();
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool v) { freeOnTerminate_ = v; }
    TThreadPriority Priority() const { return priority_.load(); }
    /// Applies what the process may set (nice levels); keeps the value either way.
    void SetPriority(TThreadPriority p);
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    /// Waits until Execute has returned (not for free-on-terminate threads).
    void WaitFor();

    /// Runs fn on the main thread and waits for it; an exception fn raises is raised again
    /// here. On the main thread fn runs at once.
    static void Synchronize(const std::function<void()>& fn);
    /// Number of TThread objects whose Execute has not yet returned (all of the process).
    static int RunningCount();
    /// Waits until RunningCount() is 0 or the timeout passes; returns whether it is 0.
    static bool WaitForAll(int timeoutMs);

protected:
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
    std::exception_ptr fatal_;
    std::mutex startMu_;
    std::thread thread_;
};

} // namespace rtl
