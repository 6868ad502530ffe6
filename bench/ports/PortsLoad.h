#pragma once
// The many-port workloads: N fresh ptys, one run of a stack program holding all of them.
#include <chrono>
#include <string>
#include <vector>

namespace quillon::bench {

/// A stack program and the arguments that come before the mode.
struct TPortsStack {
    std::string Program;
    std::vector<std::string> Options;
};

struct TPortsFigures {
    double Seconds = 0;  // the window measured
    double Events = 0;   // echoes, or bursts received (ports x bursts)
    double CpuMs = 0;    // all the stack's threads, over the window
    double Wakeups = 0;  // voluntary context switches, all threads
    double Fairness = 0; // echoes of the slowest port / the fastest
    int Threads = 0;
    int Descriptors = 0;
    double VmMiB = 0; // address space reserved
    double RssMiB = 0;
    // From perf over the traffic (warm-up included), per event; negative without perf.
    double Syscalls = -1, Futex = -1, Ioctl = -1, Switches = -1;
};

struct TPortsSizes {
    std::chrono::milliseconds Settle{300};
    std::chrono::milliseconds Window{2000};
    bool Perf = false;
};

/// Every port has one 16-byte message in flight; each one back is answered by the next.
TPortsFigures MeasurePortsEcho(const TPortsStack& stack, int ports, const TPortsSizes& sizes);
/// Every port receives 92 bytes every millisecond, the ports' bursts spread evenly over
/// it, paced by absolute deadlines: a 921 600-baud adapter with a 1 ms latency timer.
TPortsFigures MeasurePortsWire(const TPortsStack& stack, int ports, const TPortsSizes& sizes);
/// The ports open and armed, nothing arriving.
TPortsFigures MeasurePortsIdle(const TPortsStack& stack, int ports, const TPortsSizes& sizes);

} // namespace quillon::bench
