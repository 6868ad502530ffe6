#pragma once
// System calls and context switches of a running process, counted by `perf stat` attached
// to it between Start and Stop.
#include <string>

namespace quillon::bench {

struct TPerfCounts {
    double Syscalls = -1, Futex = -1, Ioctl = -1, Switches = -1; // -1: not counted
};

class TPerfStat {
  public:
    /// Attaches perf to every thread of pid; counts nothing when perf cannot run.
    explicit TPerfStat(int pid);
    ~TPerfStat();
    TPerfStat(const TPerfStat&) = delete;
    TPerfStat& operator=(const TPerfStat&) = delete;
    /// Detaches perf and reads what it counted.
    TPerfCounts Stop();

  private:
    int FPid = -1; // perf's
    std::string FOut;
};

} // namespace quillon::bench
