#include "StackProcess.h"

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <stdexcept>

namespace quillon::bench {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

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

int64_t Ns(const timeval& tv) {
    return int64_t(tv.tv_sec) * 1'000'000'000 + int64_t(tv.tv_usec) * 1000;
}

std::vector<std::string> Argv(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

} // namespace

TStackProcess::TStackProcess(const std::string& program, const std::vector<std::string>& args)
    : FChild(Argv(program, args)) {}

std::string TStackProcess::NextLine(std::chrono::milliseconds timeout) {
    using Line = quillon_test::TChildProcess::TLine;
    const Line line = FChild.ReadLine(quillon_test::TClock::now() + timeout);
    if (line.State == Line::lsTimedOut)
        Fail("the stack said nothing within " + std::to_string(timeout.count()) + " ms");
    if (line.State == Line::lsEnd) Fail("the stack ended without finishing its line");
    return line.Text;
}

void TStackProcess::StayQuiet(std::chrono::milliseconds span) {
    pollfd p{FChild.Out(), POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, static_cast<int>(span.count()));
    while (ready < 0 && errno == EINTR);
    if (ready != 0) Fail("the stack printed or exited while it should have been idle");
}

TThreadCost TStackProcess::Cost() const {
    TThreadCost cost;
    for (const std::string& task : Threads(FChild.Pid())) {
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

TThreadCost TStackProcess::WaitExit() {
    rusage usage{};
    if (const int status =
            FChild.Wait(quillon_test::TClock::time_point::max(), &usage).value_or(-1);
        status != 0)
        Fail("the stack failed (status " + std::to_string(status) + ")");
    return {Ns(usage.ru_utime) + Ns(usage.ru_stime), usage.ru_nvcsw};
}

int TStackProcess::WaitStatus() {
    return FChild.Wait().value_or(-1);
}

void TStackProcess::Terminate() {
    FChild.Terminate();
    FChild.Wait();
}

} // namespace quillon::bench
