#include "ChildProcess.h"

#include <cerrno>
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

namespace quillon::e2e {

namespace {

int MsUntil(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::runtime_error SystemError(const std::string& what, int error) {
    return std::runtime_error(what + ": " + std::strerror(error));
}

} // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& argv,
                             const std::vector<std::string>& env) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw SystemError("pipe", errno);
    FOut = fds[0];

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : env)
            replaced = replaced || extra.compare(0, name.size(), name) == 0;
        if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int error = ::posix_spawnp(&FPid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0) {
        ::close(FOut);
        throw SystemError("cannot start " + argv[0], error);
    }
}

TChildProcess::~TChildProcess() {
    if (!FStatus) Kill();
    ::close(FOut);
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

std::optional<int> TChildProcess::Wait(TClock::time_point deadline) {
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
    if (::waitpid(FPid, &status, 0) == FPid) FStatus = ExitCode(status);
    return FStatus;
}

void TChildProcess::Kill() {
    ::kill(FPid, SIGKILL);
    int status = 0;
    if (::waitpid(FPid, &status, 0) == FPid) FStatus = ExitCode(status);
}

} // namespace quillon::e2e
