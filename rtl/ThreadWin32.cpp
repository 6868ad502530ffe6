// Thread priorities as Windows' own levels, set through the thread's identifier.
#include "rtl/ThreadOs.h"

#include <windows.h>

#include <thread>

namespace rtl::detail {

// A Windows thread reserves what the executable says (1 MiB as a rule) and commits as it
// grows: the size asked for changes nothing worth a thread API of its own.
void WaitWord(const std::atomic<uint32_t>& word, uint32_t seen, int timeoutMs) {
    ::WaitOnAddress(const_cast<std::atomic<uint32_t>*>(&word), &seen, sizeof seen,
                    timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

void WakeWord(std::atomic<uint32_t>& word, bool all) {
    if (all)
        ::WakeByAddressAll(&word);
    else
        ::WakeByAddressSingle(&word);
}

struct OsThread::Impl {
    std::thread thread;
};

OsThread::OsThread(std::function<void()> fn, size_t)
    : impl_(new Impl{std::thread(std::move(fn))}) {}

OsThread::~OsThread() = default;

bool OsThread::IsCurrent() const {
    return impl_->thread.get_id() == std::this_thread::get_id();
}

void OsThread::Join() {
    impl_->thread.join();
}

void OsThread::Detach() {
    impl_->thread.detach();
}

int CurrentThreadId() {
    return static_cast<int>(::GetCurrentThreadId());
}

void SetThreadPriority(int threadId, TThreadPriority p) {
    static const int level[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                THREAD_PRIORITY_TIME_CRITICAL};
    HANDLE thread =
        ::OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(threadId));
    if (!thread) return;
    ::SetThreadPriority(thread, level[p]);
    ::CloseHandle(thread);
}

} // namespace rtl::detail
