#pragma once
// Inside rtl: what a thread's priority needs from the operating system (one source per
// system, chosen in CMake).
#include "rtl/Thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace rtl::detail {

/// Sleeps while word still holds seen, until woken or timeoutMs passes (-1: no limit). May
/// return for no reason: the caller looks at word again.
void WaitWord(const std::atomic<uint32_t>& word, uint32_t seen, int timeoutMs);
/// Wakes one, or every, thread sleeping in WaitWord on word.
void WakeWord(std::atomic<uint32_t>& word, bool all);

/// A system thread running one function; its creator chooses the stack it reserves.
class OsThread {
  public:
    /// Starts fn, which the new thread owns; stackBytes 0 keeps the system's default.
    /// Raises std::system_error when no thread can be made.
    OsThread(std::function<void()> fn, size_t stackBytes);
    /// Neither joins nor detaches: the owner does one of them first.
    ~OsThread();
    OsThread(const OsThread&) = delete;
    OsThread& operator=(const OsThread&) = delete;

    /// True when the caller runs on this thread.
    bool IsCurrent() const;
    /// Waits until the function has returned.
    void Join();
    /// Lets the thread end on its own.
    void Detach();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The calling thread's system identifier, as SetThreadPriority takes it.
int CurrentThreadId();
/// Applies what the process may set; without the privilege the thread keeps its priority.
void SetThreadPriority(int threadId, TThreadPriority p);

} // namespace rtl::detail
