// Process priority classes as nice levels. Linux keeps a nice level per thread, so the
// class is applied to every thread of the process; threads started later inherit it.
#include "platform/core/Device.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

namespace qwin {

namespace {

// Not a table entry: only GetPriorityClass and SetPriorityClass accept it.
constexpr HANDLE CurrentProcess = ~HANDLE(0) - 1;

struct ClassLevel {
    DWORD cls;
    int nice;
};
constexpr ClassLevel Levels[] = {
    {IDLE_PRIORITY_CLASS, 19},
    {NORMAL_PRIORITY_CLASS, 0},
    {HIGH_PRIORITY_CLASS, -10},
    {REALTIME_PRIORITY_CLASS, -20},
};

} // namespace

HANDLE GetCurrentProcess() {
    return CurrentProcess;
}

DWORD GetPriorityClass(HANDLE process) {
    if (process != CurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (nice == -1 && errno != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return 0;
    }
    const ClassLevel* best = &Levels[0];
    for (const ClassLevel& l : Levels)
        if (std::abs(l.nice - nice) < std::abs(best->nice - nice)) best = &l;
    return best->cls;
}

BOOL SetPriorityClass(HANDLE process, DWORD cls) {
    if (process != CurrentProcess) return detail::Fail(ERROR_INVALID_HANDLE);
    const ClassLevel* level = nullptr;
    for (const ClassLevel& l : Levels)
        if (l.cls == cls) level = &l;
    if (!level) return detail::Fail(ERROR_INVALID_PARAMETER);
    // The main thread first: when the process may not take this level, nothing changes.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), level->nice) != 0)
        return detail::Fail(static_cast<DWORD>(errno));
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* e = readdir(tasks)) {
            const long tid = std::strtol(e->d_name, nullptr, 10);
            // A thread that ended meanwhile (ESRCH) needs nothing.
            if (tid > 0 && tid != getpid())
                setpriority(PRIO_PROCESS, static_cast<id_t>(tid), level->nice);
        }
        closedir(tasks);
    }
    return TRUE;
}

} // namespace qwin
