// quillon-bench: drives every stack program found beside it through the rx, echo and idle
// measurements, a fresh pty and a fresh process each time, and prints one table.
//
//   quillon-bench [--runs N] [--quick] [--only rx|echo|idle]
#include "Measurements.h"
#include "Report.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon::bench;
namespace fs = std::filesystem;

struct TStack {
    const char* Name;
    const char* Program;
    const char* Needs;   // what a build without it lacked
    bool Remote = false; // reaches the pty through ser2net over loopback
    const char* IdleMode = "idle";
    bool IdleOnly = false; // a variant of the stack above that differs only when idle
};

// The first is the limit every ratio refers to.
const TStack kStacks[] = {
    {"raw read loop", "quillon-bench-raw", "the benchmarks build"},
    {"Qt serial port", "quillon-bench-qt", "Qt 6 SerialPort (qt6-serialport-dev)"},
    {"libserialport", "quillon-bench-libserialport", "libserialport (libserialport-dev)"},
    {"Quillon", "quillon-bench-stack", "the Quillon build"},
    {"Quillon, modem-line events armed", "quillon-bench-stack", "the Quillon build", false,
     "idle-lines", true},
    {"Quillon RFC 2217", "quillon-bench-stack", "the Quillon build", true},
    {"pyserial RFC 2217", "quillon-bench-pyserial", "pyserial (python3-serial)", true},
};

template <class R, class F>
void Run(TStackResults& results, std::vector<R>& into, const char* what, F measure) {
    if (!results.Skipped.empty()) return;
    std::fprintf(stderr, "  %-16s %-5s ...", results.Name.c_str(), what);
    try {
        into.push_back(measure());
        std::fprintf(stderr, " ok\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, " failed: %s\n", e.what());
        results.Skipped = std::string(what) + " failed: " + e.what();
    }
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    TSizes sizes;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--quick") == 0) {
            sizes.RxBytes = 8ull << 20;
            sizes.EchoWarmup = 100;
            sizes.Echoes = 2000;
            sizes.IdleSpan = std::chrono::milliseconds(1000);
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--quick] [--only rx|echo|idle]\n", argv[0]);
            return 2;
        }
    }
    const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();

    std::vector<TStackResults> results;
    std::vector<TStackProgram> programs;
    for (const TStack& s : kStacks) {
        TStackResults r;
        r.Name = s.Name;
        const fs::path program = here / s.Program;
        if (access(program.c_str(), X_OK) != 0)
            r.Skipped = std::string("not built (needs ") + s.Needs + ")";
        results.push_back(r);
        programs.push_back({program.string(), s.Remote});
    }
    const auto wanted = [&](const char* what) { return only.empty() || only == what; };
    // Round after round over all stacks, so that a busy moment of the machine is shared.
    for (int run = 1; run <= runs; ++run) {
        std::fprintf(stderr, "run %d of %d\n", run, runs);
        for (size_t i = 0; i < results.size(); ++i) {
            const TStackProgram& program = programs[i];
            const TStack& stack = kStacks[i];
            if (wanted("rx") && !stack.IdleOnly)
                Run(results[i], results[i].Rx, "rx", [&] { return MeasureRx(program, sizes); });
            if (wanted("echo") && !stack.IdleOnly)
                Run(results[i], results[i].Echo, "echo",
                    [&] { return MeasureEcho(program, sizes); });
            if (wanted("idle"))
                Run(results[i], results[i].Idle, "idle",
                    [&] { return MeasureIdle(program, sizes, stack.IdleMode); });
        }
    }
    std::printf("\nrx: %llu MiB in %zu-byte writes; echo: %d round trips after %d untimed; idle: "
                "%lld ms\n\n",
                static_cast<unsigned long long>(sizes.RxBytes >> 20), sizes.RxChunk, sizes.Echoes,
                sizes.EchoWarmup, static_cast<long long>(sizes.IdleSpan.count()));
    PrintTable(results, runs);
    return 0;
}
