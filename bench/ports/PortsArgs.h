#pragma once
// The command line of the many-port stacks: [--unsync] echo|wire|idle <count> <tty>...
//   echo  writes every received chunk back to its port;
//   wire  counts received bytes and says DONE once every port has had <count>;
//   idle  keeps every port open with its receive path armed.
// Every mode runs until it is terminated.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace quillon::bench {

enum class TPortsMode { Echo, Wire, Idle };

struct TPortsArgs {
    bool Unsync = false; // handlers on the event threads (Quillon only)
    TPortsMode Mode = TPortsMode::Idle;
    uint64_t Count = 0;
    std::vector<std::string> Devices;
};

/// The parsed arguments, or none (after a usage line on stderr).
inline std::optional<TPortsArgs> ParsePortsArgs(int argc, char** argv) {
    TPortsArgs args;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "--unsync") == 0) args.Unsync = (++i, true);
    if (argc - i >= 3) {
        const std::string mode = argv[i];
        const bool known = mode == "echo" || mode == "wire" || mode == "idle";
        args.Mode = mode == "echo"   ? TPortsMode::Echo
                    : mode == "wire" ? TPortsMode::Wire
                                     : TPortsMode::Idle;
        char* end = nullptr;
        args.Count = std::strtoull(argv[i + 1], &end, 10);
        if (known && *argv[i + 1] != '\0' && *end == '\0') {
            args.Devices.assign(argv + i + 2, argv + argc);
            return args;
        }
    }
    std::fprintf(stderr, "usage: %s [--unsync] echo|wire|idle <count> <tty>...\n",
                 argc > 0 ? argv[0] : "stack");
    return std::nullopt;
}

} // namespace quillon::bench
