#pragma once
// The three measurements, each on a fresh pty (and a fresh ser2net in front of it for a
// remote stack) with a fresh run of the stack program.
#include <chrono>
#include <cstdint>
#include <string>

namespace quillon::bench {

struct TRxResult {
    double MiBPerS = 0;
    double CpuMsPerMiB = 0;
    double WakeupsPerMiB = 0;
};

struct TEchoResult {
    double MedianUs = 0;
    double P99Us = 0;
    double CpuUsPerEcho = 0;
    double WakeupsPerEcho = 0;
};

struct TIdleResult {
    double CpuMs = 0;
    int64_t Wakeups = 0;
};

struct TSizes {
    uint64_t RxBytes = 64ull << 20;
    size_t RxChunk = 4096;
    int EchoWarmup = 1000;
    int Echoes = 20000;
    std::chrono::milliseconds IdleSettle{500};
    std::chrono::milliseconds IdleSpan{5000};
};

/// A stack program, and whether it reaches the pty through ser2net (rfc2217://) rather
/// than opening the pty itself.
struct TStackProgram {
    std::string Path;
    bool Remote = false;
};

/// The driver writes RxBytes in RxChunk writes; timed from the first write to DONE.
TRxResult MeasureRx(const TStackProgram& program, const TSizes& sizes);
/// One byte out, the same byte back, EchoWarmup times untimed and then Echoes timed.
TEchoResult MeasureEcho(const TStackProgram& program, const TSizes& sizes);
/// The stack's cost over IdleSpan, starting IdleSettle after it said READY; mode is the
/// stack's idle mode ("idle", or "idle-lines" with the modem-line events armed).
TIdleResult MeasureIdle(const TStackProgram& program, const TSizes& sizes, const char* mode);

} // namespace quillon::bench
