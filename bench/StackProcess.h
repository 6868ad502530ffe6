#pragma once
// One run of a stack program: started with its arguments, its READY and DONE lines read
// from a pipe, and the cost of all its threads read from the kernel.
#include "tests/support/ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::bench {

/// What the kernel says about every thread of a process at one moment.
struct TThreadCost {
    int64_t CpuNs = 0;             // time on a CPU (schedstat), all threads
    int64_t VoluntarySwitches = 0; // wake-ups after sleeping, all threads
};

class TStackProcess {
  public:
    /// Starts program with args; its stdout comes to us, its stderr goes to ours.
    TStackProcess(const std::string& program, const std::vector<std::string>& args);

    /// The stack's process id.
    int Pid() const { return FChild.Pid(); }
    /// The next line the stack prints; throws when none comes within timeout.
    std::string NextLine(std::chrono::milliseconds timeout);
    /// Waits up to span for output; throws if the stack prints or exits meanwhile.
    void StayQuiet(std::chrono::milliseconds span);
    /// The live threads' cost now.
    TThreadCost Cost() const;
    /// Waits for the exit; returns the cost of the whole process over its life. Throws
    /// unless it exited with status 0.
    TThreadCost WaitExit();
    /// Waits for the exit; its status, or 128 + the signal that ended it.
    int WaitStatus();
    /// Ends the stack (idle runs) and reaps it.
    void Terminate();

  private:
    quillon_test::TChildProcess FChild;
};

} // namespace quillon::bench
