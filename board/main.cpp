// quillon-board: serves the simulated instrument board on a pty, or writes a
// sample SD-card temperature log.

#include "board/BoardEngine.h"
#include "platform/PortRegistry.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <getopt.h>
#include <optional>
#include <poll.h>
#include <random>
#include <signal.h>
#include <string>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using quillon::board::TBoardEngine;
using quillon::board::TBoardOptions;
using quillon::board::TimeMs;

struct TCommandLine {
    TBoardOptions Board;
    bool SeedGiven = false;
    std::string SymlinkPath;
    bool Verbose = false;
    std::optional<std::string> LogFile;
    std::optional<long long> Samples;
    bool DecimalComma = false;
};

struct TUsageError {
    std::string Message;
};

long long ParseInteger(const char* text, long long low, long long high, const char* option) {
    long long value = 0;
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    if (result.ec != std::errc() || result.ptr != end || value < low || value > high)
        throw TUsageError{std::string("--") + option + " needs an integer from " +
                          std::to_string(low) + " to " + std::to_string(high) + ", not \"" + text +
                          "\""};
    return value;
}

double ParseProbability(const char* text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value >= 0.0 && value <= 1.0))
        throw TUsageError{std::string("--bad-prob needs a number from 0 to 1, not \"") + text +
                          "\""};
    return value;
}

std::uint64_t ParseSeed(const char* text) {
    std::uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    if (result.ec != std::errc() || result.ptr != end)
        throw TUsageError{std::string("--seed needs an unsigned integer, not \"") + text + "\""};
    return value;
}

constexpr long long DayMs = 24LL * 3600 * 1000;

// One option: its name, its argument as the help shows it (none for a switch), its help
// line, and what it does to the command line (none for --help). A blank line of the help
// comes before an option that starts a group.
struct TOption {
    const char* Name;
    const char* Argument;
    const char* Help;
    void (*Apply)(TCommandLine& line, const char* value);
    bool StartsGroup = false;
};

const TOption Options[] = {
    {"led-period", "MS", "LED message period (default 3000, 0 = none)",
     [](TCommandLine& l, const char* v) {
         l.Board.LedPeriodMs = ParseInteger(v, 0, DayMs, "led-period");
     }},
    {"bad-every", "N", "every Nth reading has a wrong length",
     [](TCommandLine& l, const char* v) {
         l.Board.BadEvery = static_cast<unsigned>(ParseInteger(v, 1, UINT_MAX, "bad-every"));
     }},
    {"bad-prob", "P", "a reading has a wrong length with probability P (0..1)",
     [](TCommandLine& l, const char* v) { l.Board.BadProbability = ParseProbability(v); }},
    {"split", "K", "send every reply in K chunks",
     [](TCommandLine& l, const char* v) {
         l.Board.SplitPieces = static_cast<unsigned>(ParseInteger(v, 1, 4096, "split"));
     }},
    {"crlf", nullptr, "send \"\\r\\n\" before the \"w\" of a reading",
     [](TCommandLine& l, const char*) { l.Board.CrLfBeforeReading = true; }},
    {"delay", "MS", "wait MS before each reply",
     [](TCommandLine& l, const char* v) {
         l.Board.ReplyDelayMs = ParseInteger(v, 0, DayMs, "delay");
     }},
    {"silent", nullptr, "answer nothing (LED messages still go)",
     [](TCommandLine& l, const char*) { l.Board.Silent = true; }},
    {"unplug-after", "MS", "drop the line after MS and exit",
     [](TCommandLine& l, const char* v) {
         l.Board.UnplugAfterMs = ParseInteger(v, 0, DayMs, "unplug-after");
     }},
    {"seed", "S", "seed of temperatures and random faults",
     [](TCommandLine& l, const char* v) {
         l.Board.Seed = ParseSeed(v);
         l.SeedGiven = true;
     }},
    {"symlink", "PATH", "also make PATH a symbolic link to the device",
     [](TCommandLine& l, const char* v) {
         if (*v == '\0') throw TUsageError{"--symlink needs a path"};
         l.SymlinkPath = v;
     }},
    {"verbose", nullptr, "trace the dialogue on standard error",
     [](TCommandLine& l, const char*) { l.Verbose = true; }},
    {"write-log", "FILE", "write a temperature log (\"id,temperature;\" lines) and exit",
     [](TCommandLine& l, const char* v) {
         if (*v == '\0') throw TUsageError{"--write-log needs a file name"};
         l.LogFile = v;
     },
     true},
    {"samples", "N", "number of samples in the log (default 100)",
     [](TCommandLine& l, const char* v) {
         l.Samples = ParseInteger(v, 1, 100'000'000, "samples");
     }},
    {"decimal-comma", nullptr, "use \",\" as decimal separator in the log",
     [](TCommandLine& l, const char*) { l.DecimalComma = true; }},
    {"help", nullptr, "show this help", nullptr, true},
};

std::string Usage() {
    std::string text = "Usage: quillon-board [OPTION]...\n"
                       "Serve the simulated Quillon instrument board on a pseudo-terminal.\n"
                       "The first line on standard output is \"PORT <device>\"; the port is also\n"
                       "registered so the console lists it. SIGINT or SIGTERM end it cleanly.\n"
                       "\n";
    constexpr std::size_t Column = 21; // where the help lines start, after "  "
    for (const TOption& o : Options) {
        std::string left = std::string("--") + o.Name;
        if (o.Argument) left += std::string(" ") + o.Argument;
        if (o.StartsGroup) text += "\n";
        text += "  " + left + std::string(Column - left.size(), ' ') + o.Help + "\n";
    }
    return text;
}

// Returns nullopt when --help was asked for.
std::optional<TCommandLine> ParseCommandLine(int argc, char** argv) {
    constexpr int FirstId = 256; // above every short option character
    std::vector<option> longOptions;
    for (const TOption& o : Options)
        longOptions.push_back({o.Name, o.Argument ? required_argument : no_argument, nullptr,
                               FirstId + static_cast<int>(longOptions.size())});
    longOptions.push_back({nullptr, 0, nullptr, 0});

    TCommandLine line;
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, "", longOptions.data(), nullptr);
        if (id == -1) break;
        const int index = id - FirstId;
        if (index < 0 || index >= static_cast<int>(std::size(Options)))
            throw TUsageError{std::string("unknown or incomplete option \"") + argv[optind - 1] +
                              "\""};
        if (!Options[index].Apply) return std::nullopt;
        Options[index].Apply(line, optarg);
    }
    if (optind < argc)
        throw TUsageError{std::string("unexpected argument \"") + argv[optind] + "\""};
    if (!line.LogFile && (line.Samples || line.DecimalComma))
        throw TUsageError{"--samples and --decimal-comma go with --write-log"};
    if (!line.SeedGiven)
        line.Board.Seed =
            (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
    return line;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int WriteLog(const TCommandLine& line) {
    const std::string log =
        quillon::board::MakeTemperatureLog(static_cast<std::size_t>(line.Samples.value_or(100)),
                                           line.Board.Seed, line.DecimalComma ? ',' : '.');
    const int fd = ::open(line.LogFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "quillon-board: cannot create %s: %s\n", line.LogFile->c_str(),
                     std::strerror(errno));
        return 1;
    }
    const bool written = WriteAll(fd, log);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        std::fprintf(stderr, "quillon-board: cannot write %s: %s\n", line.LogFile->c_str(),
                     std::strerror(written ? errno : error));
        return 1;
    }
    return 0;
}

TimeMs NowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<TimeMs>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// The console must get the bytes unchanged: no echo, no CR/LF mapping, no
// software flow control, no stripping of the eighth bit.
bool MakeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    settings.c_iflag &=
        ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | PARMRK);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Printable form of the bytes for the trace.
std::string Escaped(std::string_view bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\')
            text += "\\\\";
        else if (c >= 0x20 && c < 0x7f)
            text += static_cast<char>(c);
        else {
            static const char Hex[] = "0123456789abcdef";
            text += "\\x";
            text += Hex[c >> 4];
            text += Hex[c & 15];
        }
    }
    return text;
}

class TBoardServer {
  public:
    explicit TBoardServer(const TCommandLine& line) : FLine(line) {}
    ~TBoardServer() { Shutdown(); }

    int Run() {
        if (!SetUp()) return 1;
        return Serve();
    }

  private:
    bool Fail(const char* what) {
        std::fprintf(stderr, "quillon-board: %s: %s\n", what, std::strerror(errno));
        return false;
    }

    __attribute__((format(printf, 2, 3))) void Trace(const char* format, ...) {
        if (!FLine.Verbose) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fflush(stderr);
    }

    bool SetUp() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGHUP);
        if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return Fail("cannot block signals");
        FSignalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        if (FSignalFd < 0) return Fail("cannot create signalfd");
        ::signal(SIGPIPE, SIG_IGN);

        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FMaster < 0) return Fail("cannot open a pseudo-terminal");
        if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            return Fail("cannot unlock the pseudo-terminal");
        char name[128];
        if (::ptsname_r(FMaster, name, sizeof name) != 0)
            return Fail("cannot name the pseudo-terminal");
        FDevice = name;

        // The board keeps one slave descriptor open for its whole life: a pty
        // master reports POLLHUP whenever no slave is open, which would wake the
        // poll loop without end between two sessions of the console. It also
        // keeps the raw settings in place across the console's opens and closes.
        FHeldSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FHeldSlave < 0) return Fail("cannot open the pseudo-terminal's device");
        if (!MakeRaw(FHeldSlave) || !MakeRaw(FMaster)) return Fail("cannot set raw mode");
        const int flags = ::fcntl(FMaster, F_GETFL);
        if (flags < 0 || ::fcntl(FMaster, F_SETFL, flags | O_NONBLOCK) != 0)
            return Fail("cannot make the pseudo-terminal non-blocking");

        // Since the held descriptor keeps the line up, what the board sends while
        // no console has the port open would wait in the line and reach the next
        // console. Opens and closes of the device node tell when a console is
        // there; without that knowledge everything is sent.
        FWatchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (FWatchFd >= 0 && ::inotify_add_watch(FWatchFd, name, IN_OPEN | IN_CLOSE) < 0) {
            ::close(FWatchFd);
            FWatchFd = -1;
        }

        if (!FLine.SymlinkPath.empty()) {
            if (::symlink(name, FLine.SymlinkPath.c_str()) != 0) {
                std::fprintf(stderr, "quillon-board: cannot create symlink %s: %s\n",
                             FLine.SymlinkPath.c_str(), std::strerror(errno));
                return false;
            }
            FSymlinkMade = true;
        }

        try {
            FRegistration =
                qwin::TPortRegistration(FDevice, "Quillon simulated board (" + FDevice + ")");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quillon-board: cannot register the port: %s\n", e.what());
            return false;
        }

        // Printed last: once a reader sees this line, the port is ready and listed.
        std::printf("PORT %s\n", name);
        std::fflush(stdout);
        return true;
    }

    int Serve() {
        TBoardEngine engine(FLine.Board, NowMs());
        for (;;) {
            TimeMs now = NowMs();
            for (const auto& chunk : engine.Advance(now))
                Send(chunk);
            if (engine.Unplugged()) {
                Trace("unplugged\n");
                return 0;
            }

            int timeout = -1;
            if (const auto deadline = engine.NextDeadline())
                timeout = static_cast<int>(std::clamp<TimeMs>(*deadline - now, 0, INT_MAX));
            pollfd fds[3] = {{FMaster, POLLIN, 0}, {FSignalFd, POLLIN, 0}, {FWatchFd, POLLIN, 0}};
            const int ready = ::poll(fds, 3, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                Fail("poll failed");
                return 1;
            }
            if (fds[1].revents & POLLIN) {
                signalfd_siginfo info{};
                if (::read(FSignalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                    return 0;
            }
            // Opens first: a console that opens and writes at once gets its answer.
            if (fds[2].revents & POLLIN) FollowConsole();
            if (fds[0].revents & POLLIN) {
                char buffer[4096];
                const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
                if (n > 0) {
                    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
                    Trace("received %s\n", Escaped(bytes).c_str());
                    engine.Receive(bytes, NowMs());
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    Fail("cannot read the pseudo-terminal");
                    return 1;
                }
            } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                // Cannot happen while the held slave is open; never loop on it.
                std::fprintf(stderr, "quillon-board: the pseudo-terminal hung up\n");
                return 1;
            }
        }
    }

    // Counts the consoles that have the device open, from the watch's events.
    void FollowConsole() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(FWatchFd, buffer, sizeof buffer);
            if (n <= 0) return;
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    // Lost count: send everything from now on.
                    ::close(FWatchFd);
                    FWatchFd = -1;
                    return;
                }
                if (event->mask & IN_OPEN) {
                    if (++FConsoles == 1) Trace("console attached\n");
                } else if ((event->mask & IN_CLOSE) && FConsoles > 0 && --FConsoles == 0) {
                    // Like a board whose host closed the port: what was on its way is lost.
                    ::tcflush(FHeldSlave, TCIFLUSH);
                    Trace("console detached\n");
                }
            }
        }
    }

    // Like a UART nobody listens to, the board never blocks: what does not fit in
    // the line's buffer is lost.
    void Send(const std::string& chunk) {
        if (FWatchFd >= 0 && FConsoles == 0) {
            Trace("dropped %s (no console)\n", Escaped(chunk).c_str());
            return;
        }
        const ssize_t n = ::write(FMaster, chunk.data(), chunk.size());
        if (n == static_cast<ssize_t>(chunk.size())) {
            Trace("sent %s\n", Escaped(chunk).c_str());
            return;
        }
        Trace("dropped %s (line full)\n", Escaped(chunk).c_str());
        if (!FDropReported) {
            std::fprintf(stderr, "quillon-board: output dropped, nobody reads %s\n",
                         FDevice.c_str());
            FDropReported = true;
        }
    }

    void Shutdown() {
        // The device goes first, as when a cable is pulled, then its registration.
        if (FMaster >= 0) ::close(FMaster);
        if (FHeldSlave >= 0) ::close(FHeldSlave);
        FMaster = FHeldSlave = -1;
        FRegistration.Release();
        if (FSymlinkMade) {
            char target[256];
            const ssize_t n = ::readlink(FLine.SymlinkPath.c_str(), target, sizeof target);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == FDevice)
                ::unlink(FLine.SymlinkPath.c_str());
            FSymlinkMade = false;
        }
        for (int* fd : {&FSignalFd, &FWatchFd}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    const TCommandLine& FLine;
    int FSignalFd = -1;
    int FMaster = -1;
    int FHeldSlave = -1;
    int FWatchFd = -1;
    unsigned FConsoles = 0;
    std::string FDevice;
    bool FSymlinkMade = false;
    bool FDropReported = false;
    qwin::TPortRegistration FRegistration;
};

} // namespace

int main(int argc, char** argv) {
    std::optional<TCommandLine> line;
    try {
        line = ParseCommandLine(argc, argv);
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "quillon-board: %s\n%s", e.Message.c_str(), Usage().c_str());
        return 2;
    }
    if (!line) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (line->LogFile) return WriteLog(*line);
    TBoardServer server(*line);
    return server.Run();
}
