#pragma once
// One end-to-end scene: a private directory (port registry, scripts, logs), the simulated
// boards started in it and the console run against them with a script.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon::e2e {

using quillon_test::TChildProcess;
using quillon_test::TClock;

struct TConsoleRun {
    std::optional<int> ExitCode;      ///< none when the console had to be killed
    std::vector<std::string> Reports; ///< its "ok …" and "FAIL …" lines, in order
};

class TE2eSession {
  public:
    TE2eSession();
    /// Stops the boards still running and removes the directory.
    ~TE2eSession();
    TE2eSession(const TE2eSession&) = delete;
    TE2eSession& operator=(const TE2eSession&) = delete;

    std::filesystem::path Dir() const { return FDir.Path(); }
    /// Starts quillon-board with options; returns its device once it is listed.
    std::string StartBoard(const std::vector<std::string>& options);
    /// Ends every board; true when all of them ended cleanly.
    bool StopBoards();
    /// Ends the board serving port, as when its cable is pulled; true when it ended cleanly.
    bool StopBoard(const std::string& port);
    /// Writes a log with quillon-board --write-log; the empty path when that fails.
    std::filesystem::path WriteLog(const std::string& name,
                                   const std::vector<std::string>& options);
    /// Runs the console offscreen on the script, in the environment env adds to the
    /// session's and with args on its command line, until it exits. onReport sees each
    /// report as it comes, while the console goes on.
    TConsoleRun RunConsole(const std::vector<std::string>& steps,
                           const std::vector<std::string>& env,
                           const std::vector<std::string>& args = {},
                           const std::function<void(const std::string&)>& onReport = {});

  private:
    quillon_test::TScratchDir FDir{"quillon-e2e"};
    std::vector<std::unique_ptr<TChildProcess>> FBoards;
    std::vector<std::string> FPorts; // the port of each board
};

/// Text as one word of a script.
std::string Quoted(const std::string& text);
/// The report lines of a run in which every step passes.
std::vector<std::string> AllPassed(const std::vector<std::string>& steps);
/// Runs the console on the script (see RunConsole) and expects every step to pass and the
/// console to exit cleanly.
void ExpectScriptPasses(TE2eSession& session, const std::vector<std::string>& steps,
                        const std::vector<std::string>& env = {"LC_ALL=C"},
                        const std::vector<std::string>& args = {},
                        const std::function<void(const std::string&)>& onReport = {});

} // namespace quillon::e2e
