// Runs the real quillon-board program and talks to it over its pty.

#include "board/BoardEngine.h"
#include "board_text.h"
#include "platform/PortRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Upper bound on any wait for the board; reached only when something is broken.
constexpr int GuardMs = 10'000;

using quillon::board::test::AllDigits;
using quillon::board::test::IsGoodReading;
using quillon::board::test::ParseLogLine;
using quillon_test::FileText;

// Reads from fd until done(buffer) holds, the other end closes, or the guard expires.
bool ReadUntil(int fd, std::string& buffer, const std::function<bool(const std::string&)>& done) {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(GuardMs);
    while (!done(buffer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            guard - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char chunk[1024];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done(buffer);
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

std::size_t CountLinesStartingWith(const std::string& text, const std::string& prefix) {
    std::size_t count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        count += line.rfind(prefix, 0) == 0;
    return count;
}

std::vector<std::string> BoardArgv(const std::vector<std::string>& options) {
    std::vector<std::string> argv{QUILLON_BOARD_PROGRAM};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

// The board as a child process, its standard output (and error) on pipes.
class TBoard : public quillon_test::TChildProcess {
  public:
    explicit TBoard(const std::vector<std::string>& options, bool captureErrors = false)
        : TChildProcess(BoardArgv(options), {{}, captureErrors}) {}

    /// The device from the "PORT <device>" line; empty if the board printed none.
    std::string Port() {
        const TLine line =
            ReadLine(quillon_test::TClock::now() + std::chrono::milliseconds(GuardMs));
        const std::string prefix = "PORT /dev/pts/";
        if (line.State != TLine::lsLine || line.Text.rfind(prefix, 0) != 0 ||
            !AllDigits(std::string_view(line.Text).substr(prefix.size())))
            return {};
        return line.Text.substr(5);
    }

    /// Waits until the trace on standard error has `count` lines starting with `prefix`.
    bool AwaitTrace(const std::string& prefix, std::size_t count = 1) {
        return ReadUntil(Err(), Errors, [&](const std::string& t) {
            return CountLinesStartingWith(t, prefix) >= count;
        });
    }

    std::string Errors;
};

// Opens the board's device as a console would.
class TConsole {
  public:
    explicit TConsole(const std::string& device)
        : Fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~TConsole() {
        if (Fd >= 0) ::close(Fd);
    }
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    bool Send(const std::string& bytes) {
        return ::write(Fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }

    /// Reads until the text received holds `wanted`, returns everything received.
    std::string ReceiveUntil(const std::string& wanted) {
        std::string text;
        ReadUntil(Fd, text,
                  [&](const std::string& t) { return t.find(wanted) != std::string::npos; });
        return text;
    }

    int Fd;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool ExitedWith(std::optional<int> status, int code) {
    return status == code;
}

class BoardProgramTest : public ::testing::Test {
  protected:
    // Registry entries as files, whether live or stale.
    std::vector<std::string> EntryFiles() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(Registry.c_str())) {
            while (const dirent* e = ::readdir(d))
                if (e->d_name[0] != '.') names.push_back(e->d_name);
            ::closedir(d);
        }
        return names;
    }

    quillon_test::TScratchDir Dir{"quillon-board"};
    const std::string Root = Dir.Path();
    const std::string Registry = Root + "/registry";
    quillon_test::TScopedEnv RegistryEnv{"QUILLON_PORT_REGISTRY", Registry};
};

// ---------------------------------------------------------------- dialogue

TEST_F(BoardProgramTest, AnswersTheConsoleOverThePty) {
    TBoard board({"--seed", "5", "--led-period", "0"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    TConsole console(device);
    ASSERT_GE(console.Fd, 0) << std::strerror(errno);

    ASSERT_TRUE(console.Send("w"));
    const std::string reading = console.ReceiveUntil("f");
    EXPECT_TRUE(IsGoodReading(reading)) << reading;

    ASSERT_TRUE(console.Send("c42"));
    EXPECT_EQ(console.ReceiveUntil("42"), "ok c42");

    ASSERT_TRUE(console.Send("Bonjour"));
    EXPECT_EQ(console.ReceiveUntil("ok"), "ok");
}

TEST_F(BoardProgramTest, ReplyBytesReachTheConsoleUnchanged) {
    // A carriage return would turn into a line feed if the line were not raw.
    TBoard board({"--led-period", "0", "--crlf", "--split", "3"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    TConsole console(device);
    ASSERT_TRUE(console.Send("w"));
    const std::string reply = console.ReceiveUntil("f");
    ASSERT_EQ(reply.size(), 9U) << reply;
    EXPECT_EQ(reply.substr(0, 2), "\r\n");
    EXPECT_TRUE(IsGoodReading(reply.substr(2))) << reply;
}

TEST_F(BoardProgramTest, LedMessagesAlternate) {
    TBoard board({"--led-period", "60"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    TConsole console(device);
    std::string stream;
    ASSERT_TRUE(ReadUntil(console.Fd, stream, [](const std::string& t) { return t.size() >= 8; }));
    for (std::size_t i = 0; i + 1 < stream.size(); i += 2) {
        EXPECT_EQ(stream[i], 'L') << stream;
        EXPECT_TRUE(stream[i + 1] == '0' || stream[i + 1] == '1') << stream;
        if (i >= 2) {
            EXPECT_NE(stream[i + 1], stream[i - 1]) << "the LED toggles: " << stream;
        }
    }
}

TEST_F(BoardProgramTest, UnreadReplyIsDiscardedWhenTheConsoleCloses) {
    TBoard board({"--led-period", "0", "--verbose"}, true);
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    {
        TConsole console(device);
        ASSERT_TRUE(console.Send("w"));
        ASSERT_TRUE(board.AwaitTrace("sent w")) << board.Errors;
    }
    ASSERT_TRUE(board.AwaitTrace("console detached")) << board.Errors;
    TConsole console(device);
    int waiting = -1;
    ASSERT_EQ(::ioctl(console.Fd, FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 0) << "the reply of the last session must not reach this one";
}

TEST_F(BoardProgramTest, NothingPilesUpWhileNoConsoleIsAttached) {
    TBoard board({"--led-period", "40", "--verbose"}, true);
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    {
        TConsole console(device);
        ASSERT_FALSE(console.ReceiveUntil("L").empty());
    }
    ASSERT_TRUE(board.AwaitTrace("console detached")) << board.Errors;
    const std::size_t dropped = CountLinesStartingWith(board.Errors, "dropped L");
    ASSERT_TRUE(board.AwaitTrace("dropped L", dropped + 2)) << board.Errors;

    const std::size_t sent = CountLinesStartingWith(board.Errors, "sent L");
    TConsole console(device);
    int waiting = -1;
    ASSERT_EQ(::ioctl(console.Fd, FIONREAD, &waiting), 0);
    // At most the one message sent since this open, never the dropped backlog.
    EXPECT_LE(waiting, 2);
    EXPECT_TRUE(board.AwaitTrace("sent L", sent + 1)) << "the board resumes once a console is back";
}

// ---------------------------------------------------------------- registration

TEST_F(BoardProgramTest, RegisteredWhileRunningAndRemovedOnSigterm) {
    const std::string link = Root + "/board-link";
    TBoard board({"--led-period", "0", "--symlink", link});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());

    const auto ports = qwin::ListRegisteredPorts();
    ASSERT_EQ(ports.size(), 1U);
    EXPECT_EQ(ports[0].Path, device);
    EXPECT_EQ(ports[0].FriendlyName, "Quillon simulated board (" + device + ")");
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), device);

    TConsole console(link);
    ASSERT_TRUE(console.Send("w"));
    EXPECT_TRUE(IsGoodReading(console.ReceiveUntil("f"))) << "the link reaches the board";

    ASSERT_EQ(::kill(board.Pid(), SIGTERM), 0);
    EXPECT_TRUE(ExitedWith(board.Wait(), 0));
    EXPECT_TRUE(EntryFiles().empty()) << "the board removes its own entry";
    EXPECT_FALSE(Exists(link));
    // The line is gone. (Its /dev/pts number may already serve another pty.)
    pollfd p{console.Fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << std::hex << p.revents;
}

TEST_F(BoardProgramTest, KilledBoardLeavesNoVisibleRegistration) {
    TBoard board({"--led-period", "0"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    ASSERT_EQ(qwin::ListRegisteredPorts().size(), 1U);

    ASSERT_EQ(::kill(board.Pid(), SIGKILL), 0);
    EXPECT_TRUE(ExitedWith(board.Wait(), 128 + SIGKILL));
    EXPECT_EQ(EntryFiles().size(), 1U) << "a killed board cannot clean up";
    EXPECT_TRUE(qwin::ListRegisteredPorts().empty());
    EXPECT_TRUE(EntryFiles().empty()) << "listing deletes the stale entry";
}

// ---------------------------------------------------------------- unplug and idle cost

TEST_F(BoardProgramTest, UnplugHangsUpTheConsolesLine) {
    TBoard board({"--led-period", "0", "--unplug-after", "300"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    TConsole console(device);
    ASSERT_GE(console.Fd, 0);

    pollfd p{console.Fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, GuardMs), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << std::hex << p.revents;
    EXPECT_EQ(::write(console.Fd, "w", 1), -1);
    EXPECT_EQ(errno, EIO);

    EXPECT_TRUE(ExitedWith(board.Wait(), 0));
    EXPECT_TRUE(EntryFiles().empty());
}

TEST_F(BoardProgramTest, IdleBoardSleeps) {
    // Opening and closing the device once leaves the pty without a console: a
    // board that lets its master report hang-ups would spin from then on.
    TBoard board({"--led-period", "50", "--unplug-after", "800"});
    const std::string device = board.Port();
    ASSERT_FALSE(device.empty());
    {
        TConsole console(device);
        ASSERT_GE(console.Fd, 0);
    }
    rusage usage{};
    EXPECT_TRUE(ExitedWith(board.Wait(quillon_test::TClock::time_point::max(), &usage), 0));
    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    EXPECT_LT(cpuMs, 250.0) << "800 ms of a board that mostly waits";
}

// ---------------------------------------------------------------- log file and command line

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(BoardProgramTest, WritesTemperatureLogWithEitherSeparator) {
    const std::string dotFile = Root + "/log-dot.txt";
    const std::string commaFile = Root + "/log-comma.txt";
    {
        TBoard board({"--write-log", dotFile, "--samples", "40", "--seed", "9"});
        EXPECT_TRUE(ExitedWith(board.Wait(), 0));
    }
    {
        TBoard board(
            {"--write-log", commaFile, "--samples", "40", "--seed", "9", "--decimal-comma"});
        EXPECT_TRUE(ExitedWith(board.Wait(), 0));
    }
    const std::string dot = FileText(dotFile);
    const std::string comma = FileText(commaFile);
    ASSERT_FALSE(dot.empty());
    EXPECT_EQ(dot.back(), '\n');
    const auto dotLines = Lines(dot);
    const auto commaLines = Lines(comma);
    ASSERT_EQ(dotLines.size(), 40U);
    ASSERT_EQ(commaLines.size(), 40U);
    for (std::size_t i = 0; i < dotLines.size(); ++i) {
        const auto m = ParseLogLine(dotLines[i], '.');
        ASSERT_TRUE(m) << dotLines[i];
        EXPECT_EQ(m->Id, std::to_string(i + 1));
        EXPECT_EQ(commaLines[i], m->Id + "," + m->Whole + "," + m->Fraction + ";");
    }
    EXPECT_EQ(dot, quillon::board::MakeTemperatureLog(40, 9, '.'))
        << "the program writes the library's log";

    const std::string otherFile = Root + "/log-other.txt";
    TBoard other({"--write-log", otherFile, "--samples", "40", "--seed", "10"});
    EXPECT_TRUE(ExitedWith(other.Wait(), 0));
    EXPECT_NE(FileText(otherFile), dot);
}

TEST_F(BoardProgramTest, CommandLineIsChecked) {
    {
        TBoard board({"--help"});
        std::string text;
        ReadUntil(board.Out(), text, [](const std::string&) { return false; });
        EXPECT_TRUE(ExitedWith(board.Wait(), 0));
        for (const char* option : {"--led-period", "--bad-every", "--bad-prob", "--split", "--crlf",
                                   "--delay", "--silent", "--unplug-after", "--seed", "--symlink",
                                   "--write-log", "--samples", "--decimal-comma"})
            EXPECT_NE(text.find(option), std::string::npos) << option;
    }
    const std::vector<std::vector<std::string>> wrong = {
        {"--split", "0"},    {"--bad-prob", "1.5"}, {"--led-period", "-1"},
        {"--delay", "soon"}, {"--bogus"},           {"--samples", "5"},
        {"extra"},           {"--write-log"},       {"--seed", "-3"},
    };
    for (const auto& options : wrong) {
        SCOPED_TRACE(options[0]);
        TBoard board(options, true);
        std::string text;
        ReadUntil(board.Out(), text, [](const std::string&) { return false; });
        EXPECT_TRUE(ExitedWith(board.Wait(), 2));
        EXPECT_TRUE(text.empty()) << "no PORT line: " << text;
        EXPECT_TRUE(EntryFiles().empty());
    }
}

TEST_F(BoardProgramTest, UnusableRegistryStopsTheBoard) {
    const std::string file = Root + "/not-a-dir";
    std::ofstream(file) << "";
    ::setenv("QUILLON_PORT_REGISTRY", (file + "/registry").c_str(), 1);
    TBoard board({"--led-period", "0"}, true);
    EXPECT_TRUE(board.Port().empty());
    EXPECT_TRUE(ExitedWith(board.Wait(), 1));
}

} // namespace
