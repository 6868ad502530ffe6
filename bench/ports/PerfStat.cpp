#include "PerfStat.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::bench {

TPerfStat::TPerfStat(int pid) {
    std::string name = (std::filesystem::temp_directory_path() / "quillon-perf-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) return;
    close(fd);
    FOut = name;
    const std::string target = std::to_string(pid);
    FPid = fork();
    if (FPid == 0) {
        execlp("perf", "perf", "stat", "-x,", "-o", name.c_str(), "-p", target.c_str(), "-e",
               "raw_syscalls:sys_enter,syscalls:sys_enter_futex,syscalls:sys_enter_ioctl,"
               "context-switches",
               static_cast<char*>(nullptr));
        _exit(127);
    }
}

TPerfStat::~TPerfStat() {
    Stop();
    if (!FOut.empty()) std::remove(FOut.c_str());
}

TPerfCounts TPerfStat::Stop() {
    TPerfCounts counts;
    if (FPid <= 0) return counts;
    kill(FPid, SIGINT); // perf prints its counts and leaves the process alone
    waitpid(FPid, nullptr, 0);
    FPid = -1;
    std::ifstream in(FOut);
    for (std::string line; std::getline(in, line);) {
        std::stringstream fields(line);
        std::string value, unit, event;
        if (!std::getline(fields, value, ',') || !std::getline(fields, unit, ',') ||
            !std::getline(fields, event, ','))
            continue;
        double v = 0;
        try {
            v = std::stod(value);
        } catch (const std::exception&) {
            continue; // "<not supported>"
        }
        if (event == "raw_syscalls:sys_enter") counts.Syscalls = v;
        if (event == "syscalls:sys_enter_futex") counts.Futex = v;
        if (event == "syscalls:sys_enter_ioctl") counts.Ioctl = v;
        if (event == "context-switches") counts.Switches = v;
    }
    return counts;
}

} // namespace quillon::bench
