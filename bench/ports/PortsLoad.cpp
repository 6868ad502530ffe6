#include "PortsLoad.h"

#include "../StackProcess.h"
#include "PerfStat.h"
#include "tests/support/PtyPair.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/epoll.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

using quillon_test::TPtyPair;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kMessage = 16;
constexpr size_t kBurst = 92;

// N raw pty pairs and the stack holding their slaves.
struct TRig {
    std::vector<std::unique_ptr<TPtyPair>> Ptys;
    std::unique_ptr<TStackProcess> Stack;

    TRig(const TPortsStack& stack, int ports, const char* mode, uint64_t count) {
        std::vector<std::string> args = stack.Options;
        args.insert(args.end(), {mode, std::to_string(count)});
        for (int i = 0; i < ports; ++i) {
            Ptys.push_back(std::make_unique<TPtyPair>());
            Ptys.back()->MakeRaw();
            args.push_back(Ptys.back()->SlavePath());
        }
        Stack = std::make_unique<TStackProcess>(stack.Program, args);
        Expect("READY", milliseconds(60'000));
    }
    void Expect(const std::string& line, milliseconds limit) {
        const std::string said = Stack->NextLine(limit);
        if (said != line) throw std::runtime_error("the stack said \"" + said + "\"");
    }
};

void Footprint(int pid, TPortsFigures& f) {
    namespace fs = std::filesystem;
    const std::string proc = "/proc/" + std::to_string(pid);
    f.Threads = static_cast<int>(std::distance(fs::directory_iterator(proc + "/task"), {}));
    f.Descriptors = static_cast<int>(std::distance(fs::directory_iterator(proc + "/fd"), {}));
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmSize:", 0) == 0) f.VmMiB = std::stod(line.substr(7)) / 1024;
        if (line.rfind("VmRSS:", 0) == 0) f.RssMiB = std::stod(line.substr(6)) / 1024;
    }
}

void Charge(TPortsFigures& f, const TThreadCost& before, const TThreadCost& after) {
    f.CpuMs = static_cast<double>(after.CpuNs - before.CpuNs) / 1e6;
    f.Wakeups = static_cast<double>(after.VoluntarySwitches - before.VoluntarySwitches);
}

void PerEvent(TPortsFigures& f, const TPerfCounts& c, double events) {
    const auto per = [&](double v) { return v < 0 || events <= 0 ? -1.0 : v / events; };
    f.Syscalls = per(c.Syscalls);
    f.Futex = per(c.Futex);
    f.Ioctl = per(c.Ioctl);
    f.Switches = per(c.Switches);
}

void SleepUntil(Clock::time_point t) {
    // steady_clock is CLOCK_MONOTONIC here.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch());
    timespec at{static_cast<time_t>(ns.count() / 1'000'000'000), ns.count() % 1'000'000'000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

} // namespace

TPortsFigures MeasurePortsEcho(const TPortsStack& stack, int ports, const TPortsSizes& sizes) {
    TRig rig(stack, ports, "echo", 0);
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    for (int i = 0; i < ports; ++i) {
        epoll_event ev{EPOLLIN, {}};
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, rig.Ptys[i]->Master(), &ev);
    }
    std::unique_ptr<TPerfStat> perf;
    if (sizes.Perf) {
        perf = std::make_unique<TPerfStat>(rig.Stack->Pid());
        rig.Stack->StayQuiet(sizes.Settle); // attached before any traffic
    }
    const char message[kMessage] = "0123456789abcde";
    std::vector<size_t> back(ports);
    std::vector<int64_t> echoes(ports);
    for (auto& pty : rig.Ptys)
        pty->Feed(message, kMessage);
    int inFlight = ports;
    int64_t total = 0;
    const auto start = Clock::now();
    const auto windowStart = start + sizes.Settle, windowEnd = windowStart + sizes.Window;
    TThreadCost before{}, after{};
    bool inWindow = false, sending = true;
    std::vector<int64_t> atStart;
    std::vector<epoll_event> ready(ports);
    char buf[256];
    while (inFlight > 0) {
        const auto now = Clock::now();
        if (!inWindow && sending && now >= windowStart) {
            inWindow = true;
            atStart = echoes;
            before = rig.Stack->Cost();
        } else if (inWindow && now >= windowEnd) {
            inWindow = sending = false;
            after = rig.Stack->Cost();
        }
        const int n = epoll_wait(ep, ready.data(), ports, 1000);
        if (n == 0) throw std::runtime_error("echoes stopped coming back");
        for (int k = 0; k < n; ++k) {
            const uint32_t i = ready[k].data.u32;
            const ssize_t got = read(rig.Ptys[i]->Master(), buf, sizeof buf);
            if (got <= 0) continue;
            back[i] += static_cast<size_t>(got);
            if (back[i] < kMessage) continue;
            back[i] -= kMessage;
            ++echoes[i];
            ++total;
            if (sending)
                rig.Ptys[i]->Feed(message, kMessage);
            else
                --inFlight;
        }
    }
    close(ep);
    TPortsFigures f;
    f.Seconds = std::chrono::duration<double>(sizes.Window).count();
    int64_t lo = INT64_MAX, hi = 0;
    for (int i = 0; i < ports; ++i) {
        const int64_t e = echoes[i] - atStart[i];
        f.Events += static_cast<double>(e);
        lo = std::min(lo, e);
        hi = std::max(hi, e);
    }
    f.Fairness = hi > 0 ? static_cast<double>(lo) / static_cast<double>(hi) : 0;
    Charge(f, before, after);
    Footprint(rig.Stack->Pid(), f);
    if (perf) PerEvent(f, perf->Stop(), static_cast<double>(total));
    rig.Stack->Terminate();
    return f;
}

TPortsFigures MeasurePortsWire(const TPortsStack& stack, int ports, const TPortsSizes& sizes) {
    const int64_t bursts = sizes.Window.count(); // one a millisecond
    TRig rig(stack, ports, "wire", static_cast<uint64_t>(bursts) * kBurst);
    std::unique_ptr<TPerfStat> perf;
    if (sizes.Perf) perf = std::make_unique<TPerfStat>(rig.Stack->Pid());
    rig.Stack->StayQuiet(sizes.Settle);
    char burst[kBurst];
    std::fill(std::begin(burst), std::end(burst), 'w');
    const TThreadCost before = rig.Stack->Cost();
    const auto start = Clock::now();
    const auto step = std::chrono::nanoseconds(1'000'000) / ports;
    for (int64_t k = 0; k < bursts; ++k) {
        const auto due = start + milliseconds(k);
        for (int i = 0; i < ports; ++i) {
            SleepUntil(due + step * i);
            rig.Ptys[i]->Feed(burst, kBurst);
        }
    }
    rig.Expect("DONE " + std::to_string(static_cast<uint64_t>(bursts * ports) * kBurst),
               milliseconds(30'000));
    const auto end = Clock::now();
    const TThreadCost after = rig.Stack->Cost();
    TPortsFigures f;
    f.Seconds = std::chrono::duration<double>(end - start).count();
    f.Events = static_cast<double>(bursts * ports);
    Charge(f, before, after);
    Footprint(rig.Stack->Pid(), f);
    if (perf) PerEvent(f, perf->Stop(), f.Events);
    rig.Stack->Terminate();
    return f;
}

TPortsFigures MeasurePortsIdle(const TPortsStack& stack, int ports, const TPortsSizes& sizes) {
    TRig rig(stack, ports, "idle", 0);
    rig.Stack->StayQuiet(sizes.Settle);
    const TThreadCost before = rig.Stack->Cost();
    rig.Stack->StayQuiet(sizes.Window);
    const TThreadCost after = rig.Stack->Cost();
    TPortsFigures f;
    f.Seconds = std::chrono::duration<double>(sizes.Window).count();
    Charge(f, before, after);
    Footprint(rig.Stack->Pid(), f);
    rig.Stack->Terminate();
    return f;
}

} // namespace quillon::bench
