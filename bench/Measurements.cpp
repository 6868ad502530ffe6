#include "Measurements.h"

#include "StackProcess.h"
#include "tests/support/FdIo.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Ser2net.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

namespace quillon::bench {

namespace {

using quillon_test::TPtyPair;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kStartLimit{10'000};
constexpr milliseconds kFinishLimit{120'000};

void ExpectLine(TStackProcess& stack, const std::string& expected, milliseconds limit) {
    const std::string line = stack.NextLine(limit);
    if (line != expected)
        throw std::runtime_error("the stack said \"" + line + "\", not \"" + expected + "\"");
}

double Ms(int64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

// A fresh raw pty, served by a fresh ser2net for a remote stack.
class TLine {
  public:
    explicit TLine(const TStackProgram& program) {
        FPty.MakeRaw();
        if (program.Remote) FServer = std::make_unique<quillon_test::TSer2net>(FPty.SlavePath());
    }
    TPtyPair& Pty() { return FPty; }
    /// What the stack opens.
    std::string Device() const { return FServer ? FServer->Name() : FPty.SlavePath(); }

  private:
    TPtyPair FPty;
    std::unique_ptr<quillon_test::TSer2net> FServer;
};

} // namespace

TRxResult MeasureRx(const TStackProgram& program, const TSizes& sizes) {
    TLine line(program);
    TPtyPair& pty = line.Pty();
    TStackProcess stack(program.Path, {line.Device(), "rx", std::to_string(sizes.RxBytes)});
    ExpectLine(stack, "READY", kStartLimit);
    const TThreadCost before = stack.Cost();
    std::vector<char> chunk(sizes.RxChunk);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i * 7 + 1);
    const auto start = Clock::now();
    for (uint64_t sent = 0; sent < sizes.RxBytes; sent += chunk.size())
        pty.Feed(chunk.data(), std::min<uint64_t>(chunk.size(), sizes.RxBytes - sent));
    ExpectLine(stack, "DONE " + std::to_string(sizes.RxBytes), kFinishLimit);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const TThreadCost after = stack.WaitExit();
    const double mib = static_cast<double>(sizes.RxBytes) / (1 << 20);
    return {mib / seconds, Ms(after.CpuNs - before.CpuNs) / mib,
            static_cast<double>(after.VoluntarySwitches - before.VoluntarySwitches) / mib};
}

TEchoResult MeasureEcho(const TStackProgram& program, const TSizes& sizes) {
    TLine line(program);
    TPtyPair& pty = line.Pty();
    const int total = sizes.EchoWarmup + sizes.Echoes;
    TStackProcess stack(program.Path, {line.Device(), "echo", std::to_string(total)});
    ExpectLine(stack, "READY", kStartLimit);
    const TThreadCost before = stack.Cost();
    std::vector<double> us;
    us.reserve(static_cast<size_t>(sizes.Echoes));
    for (int i = 0; i < total; ++i) {
        const char out = static_cast<char>(i), in = 0;
        const auto t0 = Clock::now();
        pty.Feed(&out, 1);
        char back = in;
        quillon_test::ReadExactly(pty.Master(), &back, 1);
        const auto t1 = Clock::now();
        if (back != out) throw std::runtime_error("the stack echoed a different byte");
        if (i >= sizes.EchoWarmup)
            us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    ExpectLine(stack, "DONE " + std::to_string(total), kFinishLimit);
    const TThreadCost after = stack.WaitExit();
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) {
        return us[std::min(us.size() - 1, static_cast<size_t>(q * us.size()))];
    };
    return {at(0.5), at(0.99), Ms(after.CpuNs - before.CpuNs) * 1000 / total,
            static_cast<double>(after.VoluntarySwitches - before.VoluntarySwitches) / total};
}

TIdleResult MeasureIdle(const TStackProgram& program, const TSizes& sizes, const char* mode) {
    TLine line(program);
    TStackProcess stack(program.Path, {line.Device(), mode, "0"});
    ExpectLine(stack, "READY", kStartLimit);
    stack.StayQuiet(sizes.IdleSettle);
    const TThreadCost before = stack.Cost();
    stack.StayQuiet(sizes.IdleSpan);
    const TThreadCost after = stack.Cost();
    stack.Terminate();
    const double scale = 5000.0 / static_cast<double>(sizes.IdleSpan.count()); // per 5 s
    return {Ms(after.CpuNs - before.CpuNs) * scale,
            static_cast<int64_t>(
                static_cast<double>(after.VoluntarySwitches - before.VoluntarySwitches) * scale)};
}

} // namespace quillon::bench
