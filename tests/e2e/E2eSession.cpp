#include "E2eSession.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <stdexcept>

namespace quillon::e2e {

namespace {

constexpr auto kBoardStartTimeout = std::chrono::seconds(30);
// A whole console run, start-up on a loaded machine and the 10 s polling included.
constexpr auto kConsoleTimeout = std::chrono::seconds(120);

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TE2eSession::TE2eSession() {
    std::filesystem::create_directory(Dir() / "registry");
}

TE2eSession::~TE2eSession() {
    StopBoards();
}

std::string TE2eSession::StartBoard(const std::vector<std::string>& options) {
    std::vector<std::string> argv{QUILLON_BOARD_EXE, "--verbose"};
    argv.insert(argv.end(), options.begin(), options.end());
    FBoards.push_back(std::make_unique<TChildProcess>(
        argv, TChildProcess::TOptions{{"QUILLON_PORT_REGISTRY=" + (Dir() / "registry").string()}}));
    const auto line = FBoards.back()->ReadLine(TClock::now() + kBoardStartTimeout);
    const bool listed =
        line.State == TChildProcess::TLine::lsLine && StartsWith(line.Text, "PORT /dev/");
    FPorts.push_back(listed ? line.Text.substr(5) : std::string());
    return FPorts.back();
}

namespace {

bool Stop(TChildProcess& board) {
    board.Terminate();
    const auto code = board.Wait(TClock::now() + kBoardStartTimeout);
    if (code == 0) return true;
    std::cerr << "quillon-board ended with " << (code ? std::to_string(*code) : "no end") << "\n";
    return false;
}

} // namespace

bool TE2eSession::StopBoards() {
    bool clean = true;
    for (auto& board : FBoards)
        clean = Stop(*board) && clean;
    FBoards.clear();
    FPorts.clear();
    return clean;
}

bool TE2eSession::StopBoard(const std::string& port) {
    for (std::size_t i = 0; i < FPorts.size(); ++i) {
        if (FPorts[i] != port) continue;
        const bool clean = Stop(*FBoards[i]);
        FBoards.erase(FBoards.begin() + static_cast<std::ptrdiff_t>(i));
        FPorts.erase(FPorts.begin() + static_cast<std::ptrdiff_t>(i));
        return clean;
    }
    return false;
}

std::filesystem::path TE2eSession::WriteLog(const std::string& name,
                                            const std::vector<std::string>& options) {
    const std::filesystem::path path = Dir() / name;
    std::vector<std::string> argv{QUILLON_BOARD_EXE, "--write-log", path.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    TChildProcess writer(argv);
    if (writer.Wait(TClock::now() + kBoardStartTimeout) != 0) return {};
    return path;
}

TConsoleRun TE2eSession::RunConsole(const std::vector<std::string>& steps,
                                    const std::vector<std::string>& env,
                                    const std::vector<std::string>& args,
                                    const std::function<void(const std::string&)>& onReport) {
    const std::filesystem::path script = Dir() / "script.txt";
    {
        std::ofstream out(script);
        for (const std::string& step : steps)
            out << step << "\n";
    }
    std::vector<std::string> environment{
        "QT_QPA_PLATFORM=offscreen",
        "QUILLON_PORT_REGISTRY=" + (Dir() / "registry").string(),
        "QUILLON_AUTOMATION=" + script.string(),
    };
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<std::string> argv{QUILLON_CONSOLE_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    TChildProcess console(argv, {environment});

    TConsoleRun run;
    const auto deadline = TClock::now() + kConsoleTimeout;
    for (;;) {
        const auto line = console.ReadLine(deadline);
        if (line.State == TChildProcess::TLine::lsTimedOut) {
            std::cerr << "the console did not end in time\n";
            return run; // its destructor kills it
        }
        if (line.State == TChildProcess::TLine::lsEnd) break;
        std::cerr << "console| " << line.Text << "\n";
        if (StartsWith(line.Text, "ok ") || StartsWith(line.Text, "FAIL ")) {
            run.Reports.push_back(line.Text);
            if (onReport) onReport(line.Text);
        }
    }
    run.ExitCode = console.Wait(deadline);
    return run;
}

std::string Quoted(const std::string& text) {
    std::string word = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') word += '\\';
        word += c;
    }
    return word + "\"";
}

std::vector<std::string> AllPassed(const std::vector<std::string>& steps) {
    std::vector<std::string> reports;
    for (const std::string& step : steps)
        reports.push_back("ok " + step);
    return reports;
}

void ExpectScriptPasses(TE2eSession& session, const std::vector<std::string>& steps,
                        const std::vector<std::string>& env, const std::vector<std::string>& args,
                        const std::function<void(const std::string&)>& onReport) {
    const TConsoleRun run = session.RunConsole(steps, env, args, onReport);
    EXPECT_EQ(run.Reports, AllPassed(steps));
    EXPECT_EQ(run.ExitCode, 0);
}

} // namespace quillon::e2e
