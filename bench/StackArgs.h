#pragma once
// The command line every benchmark stack takes: <tty> rx|echo|idle <count>; the Quillon
// stack also takes idle-lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace quillon::bench {

enum class TMode { Rx, Echo, Idle, IdleLines };

struct TStackArgs {
    std::string Device;
    TMode Mode;
    uint64_t Count;
};

/// The parsed arguments, or none (after a usage line on stderr).
inline std::optional<TStackArgs> ParseStackArgs(int argc, char** argv) {
    if (argc == 4) {
        TStackArgs args{argv[1], TMode::Rx, 0};
        const bool known =
            std::strcmp(argv[2], "rx") == 0 ||
            (std::strcmp(argv[2], "echo") == 0 && (args.Mode = TMode::Echo, true)) ||
            (std::strcmp(argv[2], "idle") == 0 && (args.Mode = TMode::Idle, true)) ||
            (std::strcmp(argv[2], "idle-lines") == 0 && (args.Mode = TMode::IdleLines, true));
        char* end = nullptr;
        args.Count = std::strtoull(argv[3], &end, 10);
        if (known && *argv[3] != '\0' && *end == '\0') return args;
    }
    std::fprintf(stderr, "usage: %s <tty> rx|echo|idle <count>\n", argc > 0 ? argv[0] : "stack");
    return std::nullopt;
}

/// Tells the driver the stack is armed.
inline void SayReady() {
    std::printf("READY\n");
    std::fflush(stdout);
}

/// Tells the driver the stack has finished, with the bytes it handled.
inline void SayDone(uint64_t n) {
    std::printf("DONE %llu\n", static_cast<unsigned long long>(n));
    std::fflush(stdout);
}

} // namespace quillon::bench
