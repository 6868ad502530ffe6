// Thread priorities as nice levels: Linux keeps one per thread.
#include "rtl/ThreadOs.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rtl::detail {

int CurrentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

void SetThreadPriority(int threadId, TThreadPriority p) {
    static const int nice[] = {19, 10, 5, 0, -5, -10, -15};
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice[p]);
}

} // namespace rtl::detail
