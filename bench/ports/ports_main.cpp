// quillon-bench-ports: the many-port workloads (echo, wire rate, idle) for every stack
// program found beside it, one markdown table per workload.
//
//   quillon-bench-ports [--ports 1,8,64,256] [--wire-ports 1,8,64] [--seconds S] [--perf]
//                       [--only echo|wire|idle]
#include "PortsLoad.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon::bench;
namespace fs = std::filesystem;

struct TNamedStack {
    const char* Name;
    const char* Program;
    std::vector<std::string> Options;
};

// The first is the limit the ratios refer to.
const TNamedStack kStacks[] = {
    {"epoll, one thread", "quillon-bench-ports-epoll", {}},
    {"Qt serial port", "quillon-bench-ports-qt", {}},
    {"Quillon", "quillon-bench-ports-stack", {}},
    {"Quillon, handlers on the event threads", "quillon-bench-ports-stack", {"--unsync"}},
};

std::vector<int> ParseList(const char* text) {
    std::vector<int> list;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        list.push_back(std::stoi(item));
    return list;
}

std::string Opt(double v, const char* format) {
    if (v < 0) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

using TMeasure = TPortsFigures (*)(const TPortsStack&, int, const TPortsSizes&);

void Table(const char* title, TMeasure measure, const std::vector<int>& counts,
           const std::vector<TPortsStack>& stacks, const TPortsSizes& sizes, char kind) {
    std::printf("\n%s\n\n", title);
    if (kind == 'e')
        std::printf("| N | stack | echoes/s | CPU ms / 1000 echoes | x first | wake-ups / echo | "
                    "syscalls / echo | futex / echo | ioctl / echo | switches / echo | fairness "
                    "|\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    else if (kind == 'w')
        std::printf("| N | stack | CPU %% | CPU %% per port | x first | wake-ups / burst | "
                    "syscalls / burst | futex / burst |\n|---|---|---|---|---|---|---|---|\n");
    else
        std::printf("| N | stack | wake-ups / 5 s | CPU ms / 5 s | threads | descriptors | "
                    "reserved MiB | resident MiB |\n|---|---|---|---|---|---|---|---|\n");
    for (int n : counts) {
        double first = -1;
        for (size_t s = 0; s < stacks.size(); ++s) {
            const char* name = kStacks[s].Name;
            if (access(stacks[s].Program.c_str(), X_OK) != 0) continue;
            TPortsFigures f;
            try {
                f = measure(stacks[s], n, sizes);
            } catch (const std::exception& e) {
                std::printf("| %d | %s | failed: %s |\n", n, name, e.what());
                std::fflush(stdout);
                continue;
            }
            if (kind == 'e') {
                const double cpu = f.Events > 0 ? f.CpuMs * 1000 / f.Events : -1;
                if (first < 0) first = cpu;
                std::printf("| %d | %s | %.0f | %.3f | %.2f | %.2f | %s | %s | %s | %s | %.2f |\n",
                            n, name, f.Events / f.Seconds, cpu, first > 0 ? cpu / first : 0,
                            f.Events > 0 ? f.Wakeups / f.Events : 0,
                            Opt(f.Syscalls, "%.1f").c_str(), Opt(f.Futex, "%.2f").c_str(),
                            Opt(f.Ioctl, "%.2f").c_str(), Opt(f.Switches, "%.2f").c_str(),
                            f.Fairness);
            } else if (kind == 'w') {
                const double pct = f.CpuMs / 10 / f.Seconds;
                if (first < 0) first = pct;
                std::printf("| %d | %s | %.1f | %.2f | %.2f | %.2f | %s | %s |\n", n, name, pct,
                            pct / n, first > 0 ? pct / first : 0, f.Wakeups / f.Events,
                            Opt(f.Syscalls, "%.1f").c_str(), Opt(f.Futex, "%.2f").c_str());
            } else {
                const double scale = 5 / f.Seconds;
                std::printf("| %d | %s | %.0f | %.2f | %d | %d | %.0f | %.1f |\n", n, name,
                            f.Wakeups * scale, f.CpuMs * scale, f.Threads, f.Descriptors, f.VmMiB,
                            f.RssMiB);
            }
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> ports{1, 8, 64, 256}, wirePorts{1, 8, 64};
    TPortsSizes sizes;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "--ports") == 0 && more) {
            ports = ParseList(argv[++i]);
        } else if (std::strcmp(argv[i], "--wire-ports") == 0 && more) {
            wirePorts = ParseList(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && more) {
            sizes.Window =
                std::chrono::milliseconds(static_cast<int64_t>(std::stod(argv[++i]) * 1000));
        } else if (std::strcmp(argv[i], "--perf") == 0) {
            sizes.Perf = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && more) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--ports 1,8,64,256] [--wire-ports 1,8,64] [--seconds S] "
                         "[--perf] [--only echo|wire|idle]\n",
                         argv[0]);
            return 2;
        }
    }
    const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
    std::vector<TPortsStack> stacks;
    for (const TNamedStack& s : kStacks)
        stacks.push_back({(here / s.Program).string(), s.Options});
    const auto wanted = [&](const char* what) { return only.empty() || only == what; };
    if (wanted("echo"))
        Table("Echo: every port has one 16-byte message in flight", MeasurePortsEcho, ports, stacks,
              sizes, 'e');
    if (wanted("wire"))
        Table("Wire rate: every port receives 92 bytes every millisecond", MeasurePortsWire,
              wirePorts, stacks, sizes, 'w');
    if (wanted("idle"))
        Table("Idle: the ports open and armed", MeasurePortsIdle, ports, stacks, sizes, 'i');
    return 0;
}
