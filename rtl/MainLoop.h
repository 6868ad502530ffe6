#pragma once
// The main (user-interface) thread's loop, as the components see it: post work to it, run
// timers on it, and tell whether the caller is on it. A plain loop serves tests and
// headless programs; the console installs one over Qt's loop.
#include <chrono>
#include <cstdint>
#include <functional>

namespace rtl {

/// The main thread's loop: posted work and timers run on it.
class IMainLoop {
  public:
    /// Work posted to the loop.
    using Task = std::function<void()>;
    /// Names a timer of the loop.
    using TimerId = uint64_t;

    /// Destroys the loop.
    virtual ~IMainLoop() = default;
    /// Queues fn to run on the main thread; safe from any thread.
    virtual void Post(Task fn) = 0;
    /// True when the caller runs on the main thread.
    virtual bool IsMainThread() const = 0;
    /// Whether some thread is the main thread; a loop nobody bound runs nothing.
    virtual bool IsBound() const { return true; }
    /// A periodic timer ticking on the main thread every intervalMs until stopped.
    virtual TimerId StartTimer(int intervalMs, Task tick) = 0;
    /// Stops the timer id; an unknown id is ignored.
    virtual void StopTimer(TimerId id) = 0;
};

/// The installed loop. A plain loop bound to the first caller's thread exists by default;
/// when that caller is a TThread it stays unbound, since a worker is never the main thread.
IMainLoop& MainLoop();
/// Installs loop (not owned) as the main loop; nullptr restores the default plain loop.
void SetMainLoop(IMainLoop* loop);

/// A loop of its own: a task queue and timers on a monotonic clock. The clock can be
/// manual so that tests drive timers by advancing it instead of sleeping.
class TPlainLoop : public IMainLoop {
  public:
    /// Bound to the calling thread, unless that is a TThread.
    TPlainLoop();
    /// Destroys the loop; queued tasks are dropped.
    ~TPlainLoop() override;

    /// Queues fn; safe from any thread.
    void Post(Task fn) override;
    /// True on the bound thread.
    bool IsMainThread() const override;
    /// True once a thread is bound.
    bool IsBound() const override;
    /// Starts a timer ticking every intervalMs milliseconds.
    TimerId StartTimer(int intervalMs, Task tick) override;
    /// Stops the timer id.
    void StopTimer(TimerId id) override;

    /// Makes the calling thread the main thread.
    void BindToCurrentThread();

    /// Runs queued tasks and due timers until Quit is called.
    void Run();
    /// Makes Run return after the current task.
    void Quit();
    /// Lets a waiting Run/RunUntil look at its condition again.
    void Wake() {
        Post([] {});
    }
    /// Runs until pred() holds or the timeout (real time) passes; returns pred(). pred is
    /// checked again after each task and timer, so another thread that changes what it
    /// looks at must announce it with Post (Wake).
    bool RunUntil(const std::function<bool()>& pred,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Runs everything already queued and every due timer, without waiting.
    void ProcessPending();

    /// Switches to a manual clock starting at 0 ms; timers then fire only through Advance.
    void UseManualClock();
    /// Moves the manual clock forward, firing every timer that falls due, in time order.
    void Advance(std::chrono::milliseconds by);
    /// The loop's clock in milliseconds (manual or monotonic).
    std::chrono::milliseconds Now() const;

  private:
    struct Impl;
    Impl* impl_;
};

/// The default plain loop (also reachable when another loop is installed).
TPlainLoop& PlainLoop();

} // namespace rtl
