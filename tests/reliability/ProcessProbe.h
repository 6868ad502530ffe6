#pragma once
// What a fault leaves behind in the process: threads, open descriptors, CPU time spent.
#include <chrono>
#include <set>

namespace quillon::reliability {

/// The ids of the process's threads now (/proc/self/task).
std::set<int> ThreadIds();
/// How many descriptors the process has open now (/proc/self/fd, the listing's own excluded).
int OpenFdCount();
/// CPU time of the whole process (all threads) in milliseconds.
double ProcessCpuMs();

/// Waits until every thread not in baseline has exited, each through a pidfd that becomes
/// readable at its exit; false when one is still there after timeout.
bool AwaitThreadsBackTo(const std::set<int>& baseline, std::chrono::milliseconds timeout);

} // namespace quillon::reliability
