#pragma once
// A program run beside the test: its standard output (and on request its standard error)
// comes back through pipes, read line by line with poll; its end is awaited on a process fd.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace quillon_test {

using TClock = std::chrono::steady_clock;

class TChildProcess {
  public:
    struct TOptions {
        /// Added to the test's environment, "NAME=value", replacing a variable of that name.
        std::vector<std::string> Env;
        /// Standard error on a pipe of its own rather than the test's.
        bool CaptureErrors = false;
    };
    /// Starts argv[0], searched in PATH unless it holds a slash; throws std::runtime_error.
    TChildProcess(const std::vector<std::string>& argv, const TOptions& options);
    explicit TChildProcess(const std::vector<std::string>& argv)
        : TChildProcess(argv, TOptions{}) {}
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
    /// Its exit code (128 + the signal when a signal ended it), or none at the deadline;
    /// usage receives what the whole process spent.
    std::optional<int> Wait(TClock::time_point deadline = TClock::time_point::max(),
                            rusage* usage = nullptr);
    pid_t Pid() const { return FPid; }
    /// The read ends of its standard output and standard error (-1 unless captured).
    int Out() const { return FOut; }
    int Err() const { return FErr; }

  private:
    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    std::string FBuffer;
    bool FEnded = false;
    std::optional<int> FStatus;
};

/// Runs body in a forked copy of the test program, which ends with body's result and
/// runs no destructors; returns that exit code, or 128 + the signal that ended the copy.
int RunInChild(const std::function<int()>& body);

/// Milliseconds left until deadline, for poll: 0 once it passed, -1 for none.
int MsUntil(TClock::time_point deadline);

} // namespace quillon_test
