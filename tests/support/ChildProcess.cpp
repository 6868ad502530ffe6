#include "ChildProcess.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace quillon_test {

namespace {

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::runtime_error SystemError(const std::string& what, int error) {
    return std::runtime_error(what + ": " + std::strerror(error));
}

std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& x : extra)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (const std::string& s : strings)
        out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

int MsUntil(TClock::time_point deadline) {
    if (deadline == TClock::time_point::max()) return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

int RunInChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) throw SystemError("fork", errno);
    if (pid == 0) {
        try {
            ::_exit(body());
        } catch (...) {
            ::_exit(127);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw SystemError("waitpid", errno);
    return ExitCode(status);
}

TChildProcess::TChildProcess(const std::vector<std::string>& argv, const TOptions& options) {
    int out[2], err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) throw SystemError("pipe", errno);
    if (options.CaptureErrors && ::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(out[0]);
        ::close(out[1]);
        throw SystemError("pipe", error);
    }
    FOut = out[0];
    FErr = err[0];
    const std::vector<std::string> environment = Environment(options.Env);
    const std::vector<char*> args = Pointers(argv), envp = Pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (err[1] >= 0) posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    const int error = ::posix_spawnp(&FPid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (err[1] >= 0) ::close(err[1]);
    if (error != 0) {
        ::close(FOut);
        if (FErr >= 0) ::close(FErr);
        throw SystemError("cannot start " + argv[0], error);
    }
}

TChildProcess::~TChildProcess() {
    if (!FStatus) {
        ::kill(FPid, SIGKILL);
        Wait();
    }
    ::close(FOut);
    if (FErr >= 0) ::close(FErr);
}

TChildProcess::TLine TChildProcess::ReadLine(TClock::time_point deadline) {
    for (;;) {
        const auto end = FBuffer.find('\n');
        if (end != std::string::npos) {
            TLine line{TLine::lsLine, FBuffer.substr(0, end)};
            FBuffer.erase(0, end + 1);
            return line;
        }
        if (FEnded) return {TLine::lsEnd, std::exchange(FBuffer, std::string())};
        pollfd p{FOut, POLLIN, 0};
        const int ready = ::poll(&p, 1, MsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw SystemError("poll", errno);
        if (ready == 0) return {TLine::lsTimedOut, {}};
        char chunk[4096];
        const ssize_t n = ::read(FOut, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            FEnded = true;
        else
            FBuffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void TChildProcess::Terminate() {
    if (!FStatus) ::kill(FPid, SIGTERM);
}

std::optional<int> TChildProcess::Wait(TClock::time_point deadline, rusage* usage) {
    if (FStatus) return FStatus;
    // A process fd becomes readable when the child ends: no polling of waitpid.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, FPid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int ready;
        do
            ready = ::poll(&p, 1, MsUntil(deadline));
        while (ready < 0 && errno == EINTR);
        ::close(pidfd);
        if (ready == 0) return std::nullopt;
    }
    int status = 0;
    rusage ignored{};
    pid_t r;
    do
        r = ::wait4(FPid, &status, 0, usage ? usage : &ignored);
    while (r < 0 && errno == EINTR);
    if (r == FPid) FStatus = ExitCode(status);
    return FStatus;
}

} // namespace quillon_test
