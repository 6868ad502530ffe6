#include "ProcessProbe.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon::reliability {

namespace {

// A pidfd for one thread rather than its whole group (Linux 6.9); glibc 2.36 lacks the name.
constexpr unsigned kPidfdThread = O_EXCL;

template <class F> void ForEachEntry(const char* dir, F f) {
    DIR* d = ::opendir(dir);
    if (!d) return;
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') f(e->d_name);
    ::closedir(d);
}

} // namespace

std::set<int> ThreadIds() {
    std::set<int> ids;
    ForEachEntry("/proc/self/task", [&](const char* name) { ids.insert(std::atoi(name)); });
    return ids;
}

int OpenFdCount() {
    int n = 0;
    ForEachEntry("/proc/self/fd", [&](const char*) { ++n; });
    return n - 1; // the directory stream's own descriptor
}

double ProcessCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

bool AwaitThreadsBackTo(const std::set<int>& baseline, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (int tid : ThreadIds()) {
        if (baseline.count(tid)) continue;
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, tid, kPidfdThread));
        if (fd < 0) {
            if (errno == ESRCH) continue; // already gone
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        ::close(fd);
        if (ready != 1) return false;
    }
    return true;
}

} // namespace quillon::reliability
