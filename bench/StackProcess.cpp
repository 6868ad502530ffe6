#include "StackProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace quillon::bench {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::vector<std::string> Threads(pid_t pid) {
    std::vector<std::string> ids;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ids.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    return ids;
}

int64_t Ns(const timeval& tv) { return int64_t(tv.tv_sec) * 1'000'000'000 + int64_t(tv.tv_usec) * 1000; }

} // namespace

TStackProcess::TStackProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) Fail(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int err = posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (err != 0) {
        ::close(out[0]);
        Fail(program + ": " + std::strerror(err));
    }
    FOut = out[0];
}

TStackProcess::~TStackProcess() {
    if (FPid > 0) Terminate();
    if (FOut >= 0) ::close(FOut);
}

std::string TStackProcess::NextLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto eol = FPending.find('\n'); eol != std::string::npos) {
            std::string line = FPending.substr(0, eol);
            FPending.erase(0, eol + 1);
            return line;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{FOut, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) Fail("the stack said nothing within " + std::to_string(timeout.count()) + " ms");
        char buf[256];
        const ssize_t n = ::read(FOut, buf, sizeof buf);
        if (n <= 0) Fail("the stack ended without finishing its line");
        FPending.append(buf, static_cast<size_t>(n));
    }
}

void TStackProcess::StayQuiet(std::chrono::milliseconds span) {
    pollfd p{FOut, POLLIN, 0};
    int ready;
    do ready = ::poll(&p, 1, static_cast<int>(span.count()));
    while (ready < 0 && errno == EINTR);
    if (ready != 0) Fail("the stack printed or exited while it should have been idle");
}

TThreadCost TStackProcess::Cost() const {
    TThreadCost cost;
    for (const std::string& task : Threads(FPid)) {
        std::ifstream schedstat(task + "/schedstat");
        int64_t ns = 0;
        if (schedstat >> ns) cost.CpuNs += ns;
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                cost.VoluntarySwitches += std::stoll(line.substr(line.find(':') + 1));
    }
    return cost;
}

int TStackProcess::Reap(TThreadCost* cost) {
    int status = 0;
    rusage usage{};
    pid_t r;
    do r = wait4(FPid, &status, 0, &usage);
    while (r < 0 && errno == EINTR);
    FPid = -1;
    if (r < 0) Fail(std::string("wait4: ") + std::strerror(errno));
    if (cost) *cost = {Ns(usage.ru_utime) + Ns(usage.ru_stime), usage.ru_nvcsw};
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TThreadCost TStackProcess::WaitExit() {
    TThreadCost cost;
    if (const int status = Reap(&cost); status != 0)
        Fail("the stack failed (status " + std::to_string(status) + ")");
    return cost;
}

int TStackProcess::WaitStatus() { return Reap(nullptr); }

void TStackProcess::Terminate() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGTERM);
    int status;
    while (waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    FPid = -1;
}

} // namespace quillon::bench
