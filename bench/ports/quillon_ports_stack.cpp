// Quillon on many ports in one process: one TComPort per tty, OnRxChar reads what came and,
// for echo, writes it back; dispatched on the main thread, or on each port's event thread
// with --unsync.
#include "../StackArgs.h"
#include "PortsArgs.h"
#include "comport/ComPort.h"
#include "rtl/MainLoop.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace quillon;
using bench::TPortsMode;

std::atomic<size_t> g_portsDone{0};

class TPortSink : public TComponent {
  public:
    TPortSink(const std::string& device, const bench::TPortsArgs& args, size_t ports)
        : TComponent(nullptr), FArgs(args), FPorts(ports) {
        FPort = new TComPort(this);
        FPort->SetDeviceName(rtl::Utf8ToString(device));
        FPort->SetSynchronizeEvents(!args.Unsync);
        FPort->SetOnRxChar(TNotifyEvent::Of<&TPortSink::PortRxChar>(this));
    }
    void Open() { FPort->Open(); }

  private:
    void PortRxChar(TObject*) {
        const AnsiString chunk = FPort->ReadAnsiString();
        if (FArgs.Mode == TPortsMode::Echo) return FPort->WriteAnsiString(chunk);
        const bool reached = FCount < FArgs.Count && FCount + chunk.size() >= FArgs.Count;
        FCount += chunk.size();
        if (reached && ++g_portsDone == FPorts) bench::SayDone(FPorts * FArgs.Count);
    }

    TComPort* FPort = nullptr;
    const bench::TPortsArgs& FArgs;
    const size_t FPorts;
    uint64_t FCount = 0; // touched by one thread at a time: this port's dispatch
};

} // namespace

int main(int argc, char** argv) {
    const auto args = bench::ParsePortsArgs(argc, argv);
    if (!args) return 2;
    rtl::PlainLoop().BindToCurrentThread();
    rtl::Application().SetExceptionDisplay([](const std::string& message) {
        std::fprintf(stderr, "quillon-bench-ports-stack: %s\n", message.c_str());
    });
    std::vector<std::unique_ptr<TPortSink>> sinks;
    try {
        for (const std::string& device : args->Devices) {
            sinks.push_back(std::make_unique<TPortSink>(device, *args, args->Devices.size()));
            sinks.back()->Open();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-bench-ports-stack: %s\n", e.what());
        return 1;
    }
    bench::SayReady();
    rtl::PlainLoop().Run();
    return 0;
}
