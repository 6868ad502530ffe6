#pragma once
// A program the end-to-end tests run beside themselves: its standard output comes back
// through a pipe, read line by line with poll; its end is awaited on a process fd.
#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::e2e {

using TClock = std::chrono::steady_clock;

class TChildProcess {
  public:
    /// Starts argv[0], searched in PATH, in the test's environment plus env ("NAME=value").
    TChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    /// A child still running is killed.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    struct TLine {
        enum TState { lsLine, lsEnd, lsTimedOut } State;
        std::string Text;
    };
    /// The next line of its standard output, its end, or the deadline.
    TLine ReadLine(TClock::time_point deadline);
    /// Asks it to end (SIGTERM).
    void Terminate();
    /// Its exit code (128 + the signal when a signal ended it), or none at the deadline.
    std::optional<int> Wait(TClock::time_point deadline);
    pid_t Pid() const { return FPid; }

  private:
    void Kill();

    pid_t FPid = -1;
    int FOut = -1;
    std::string FBuffer;
    bool FEnded = false;
    std::optional<int> FStatus;
};

} // namespace quillon::e2e
