// The Quillon stack of the benchmarks, also a program of its own that any harness can drive:
//
//   quillon-bench-stack <tty> rx <count>    counts received bytes in OnRxChar
//   quillon-bench-stack <tty> echo <count>  writes every received byte back from OnRxChar
//   quillon-bench-stack <tty> idle 0        keeps the port open with OnRxChar armed
//   quillon-bench-stack <tty> idle-lines 0  the same with the modem-line events armed too,
//                                           a model of a serial driver behind the pty
//
// It prints READY once the port is open and, after <count> bytes (for echo: once the
// output queue has drained), DONE <n>, then exits 0. Idle runs until it is terminated.
#include "StackArgs.h"
#include "comport/ComPort.h"
#include "rtl/MainLoop.h"
#include "tests/support/UartModel.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

using namespace quillon;
using bench::TMode;

class TStack : public TComponent {
  public:
    TStack(const std::string& device, TMode mode, uint64_t count)
        : TComponent(nullptr), FMode(mode), FTarget(count) {
        FPort = new TComPort(this);
        FPort->SetDeviceName(rtl::Utf8ToString(device));
        FPort->SetOnError(TComErrorEvent::Of<&TStack::PortError>(this));
        FPort->SetOnRxChar(TNotifyEvent::Of<&TStack::PortRxChar>(this));
        if (mode == TMode::IdleLines) {
            const auto line = TNotifyEvent::Of<&TStack::PortLine>(this);
            FPort->SetOnCTSChange(line);
            FPort->SetOnDSRChange(line);
            FPort->SetOnRLSDChange(line);
            FPort->SetOnRing(line);
        }
    }

    bool Open() {
        try {
            FPort->Open();
            return true;
        } catch (const std::exception&) {
            return false; // PortError has said why
        }
    }
    uint64_t Count() const { return FCount; }
    bool Failed() const { return FFailed; }

  private:
    void PortRxChar(TObject*) {
        const AnsiString chunk = FPort->ReadAnsiString();
        FCount += chunk.size();
        if (FMode == TMode::Echo) FPort->WriteAnsiString(chunk);
        if (FMode == TMode::Idle || FMode == TMode::IdleLines || FCount < FTarget) return;
        if (FMode == TMode::Echo) {
            FPort->WaitForWriteCompletion();
            FPort->Flush(); // the last byte has left the output queue
        }
        FPort->SetOnRxChar({}); // nothing more to count: the event thread stops
        rtl::PlainLoop().Quit();
    }
    void PortLine(TObject*) {}
    void PortError(TCustomComPort*, EComError& E, TComAction& Action) {
        std::fprintf(stderr, "quillon-bench-stack: error %d: %s\n", E.ErrorCode, E.what());
        FFailed = true;
        Action = caAbort;
        rtl::PlainLoop().Quit();
    }

    TComPort* FPort = nullptr;
    const TMode FMode;
    const uint64_t FTarget;
    uint64_t FCount = 0;
    bool FFailed = false;
};

} // namespace

int main(int argc, char** argv) {
    const auto args = bench::ParseStackArgs(argc, argv);
    if (!args) return 2;
    rtl::PlainLoop().BindToCurrentThread();
    rtl::Application().SetExceptionDisplay([](const std::string& message) {
        std::fprintf(stderr, "quillon-bench-stack: %s\n", message.c_str());
    });
    // A pty has no modem lines: the driver's side of them is modelled, before the port opens.
    std::optional<quillon_test::TUartModel> lines;
    if (args->Mode == TMode::IdleLines) lines.emplace(-1, args->Device);
    TStack stack(args->Device, args->Mode, args->Count);
    if (!stack.Open()) return 1;
    bench::SayReady();
    if (args->Mode != TMode::Idle && args->Mode != TMode::IdleLines && args->Count == 0) {
        bench::SayDone(0);
        return 0;
    }
    rtl::PlainLoop().Run();
    if (stack.Failed()) return 1;
    bench::SayDone(stack.Count());
    return 0;
}
