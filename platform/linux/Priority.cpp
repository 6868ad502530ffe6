// Process priority classes as nice levels. Linux keeps a nice level per thread, so the
// class is applied to every thread of the process; threads started later inherit it.
// A class is coarser than a nice level: the levels found before the first change are kept,
// and setting the class they amounted to puts them back exactly, thread by thread.
#include "platform/core/Device.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

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

struct ThreadLevel {
    id_t tid;
    int nice;
};

// The levels before the first change, valid while the process stays at the level the last
// change gave it (someone else's setpriority makes them stale).
struct Saved {
    DWORD cls = 0;
    std::vector<ThreadLevel> threads;
    int set = 0; // the level the last change gave
};
std::mutex savedMutex;
std::optional<Saved> saved;

id_t Self() {
    return static_cast<id_t>(getpid());
}

std::optional<int> NiceOf(id_t tid) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) return std::nullopt;
    return nice;
}

DWORD ClassOf(int nice) {
    const ClassLevel* best = &Levels[0];
    for (const ClassLevel& l : Levels)
        if (std::abs(l.nice - nice) < std::abs(best->nice - nice)) best = &l;
    return best->cls;
}

template <class F> void ForEachOtherThread(F f) {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return;
    while (dirent* e = readdir(tasks)) {
        const long tid = std::strtol(e->d_name, nullptr, 10);
        if (tid > 0 && static_cast<id_t>(tid) != Self()) f(static_cast<id_t>(tid));
    }
    closedir(tasks);
}

Saved Snapshot(int mainNice) {
    Saved s;
    s.cls = ClassOf(mainNice);
    s.threads.push_back({Self(), mainNice});
    ForEachOtherThread([&](id_t tid) {
        if (auto n = NiceOf(tid)) s.threads.push_back({tid, *n});
    });
    return s;
}

// Threads started since the snapshot inherited the changed level: they get the main
// thread's level from then. A thread that ended meanwhile (ESRCH) needs nothing.
void Restore(const Saved& s) {
    const int mainNice = s.threads.front().nice;
    ForEachOtherThread([&](id_t tid) {
        int nice = mainNice;
        for (const ThreadLevel& t : s.threads)
            if (t.tid == tid) nice = t.nice;
        setpriority(PRIO_PROCESS, tid, nice);
    });
}

} // namespace

HANDLE GetCurrentProcess() {
    return CurrentProcess;
}

DWORD GetPriorityClass(HANDLE process) {
    if (process != CurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const auto nice = NiceOf(Self());
    if (!nice) {
        SetLastError(static_cast<DWORD>(errno));
        return 0;
    }
    return ClassOf(*nice);
}

BOOL SetPriorityClass(HANDLE process, DWORD cls) {
    if (process != CurrentProcess) return detail::Fail(ERROR_INVALID_HANDLE);
    const ClassLevel* level = nullptr;
    for (const ClassLevel& l : Levels)
        if (l.cls == cls) level = &l;
    if (!level) return detail::Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(savedMutex);
    const auto now = NiceOf(Self());
    if (!now) return detail::Fail(static_cast<DWORD>(errno));
    if (saved && saved->set != *now) saved.reset();
    if (saved && saved->cls == cls) {
        // The main thread first: when the process may not go back, nothing changes.
        if (setpriority(PRIO_PROCESS, Self(), saved->threads.front().nice) != 0)
            return detail::Fail(static_cast<DWORD>(errno));
        Restore(*saved);
        saved.reset();
        return TRUE;
    }
    Saved before = saved ? *saved : Snapshot(*now);
    // The main thread first: when the process may not take this level, nothing changes.
    if (setpriority(PRIO_PROCESS, Self(), level->nice) != 0)
        return detail::Fail(static_cast<DWORD>(errno));
    ForEachOtherThread([&](id_t tid) { setpriority(PRIO_PROCESS, tid, level->nice); });
    before.set = level->nice;
    saved = std::move(before);
    return TRUE;
}

} // namespace qwin
