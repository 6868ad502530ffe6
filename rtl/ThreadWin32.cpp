// Thread priorities as Windows' own levels, set through the thread's identifier.
#include "rtl/ThreadOs.h"

#include <windows.h>

namespace rtl::detail {

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
