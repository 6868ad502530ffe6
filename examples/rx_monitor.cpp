// Prints every chunk a serial line delivers, as OnRxChar sees it, and the on/off changes
// of a receive indicator bound to the port.
//
//   rx_monitor DEVICE   watch DEVICE until it goes away or Ctrl-C
//   rx_monitor          open a pty of its own, play a short exchange into it, then hang up
#include "comsignal/ComSignal.h"
#include "rtl/MainLoop.h"
#include "rtl/Timer.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon;

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

double Seconds() {
    return rtl::PlainLoop().Now().count() / 1000.0;
}

/// The monitor's form: a port, a receive indicator, and the handlers bound to them.
class TMonitor : public TComponent {
  public:
    explicit TMonitor(const string& device) : TComponent(nullptr) {
        FPort = new TComPort(this);
        FPort->SetDeviceName(device);
        FPort->SetOnRxChar(TNotifyEvent::Of<&TMonitor::PortRxChar>(this));
        FPort->SetOnError(TComErrorEvent::Of<&TMonitor::PortError>(this));
        FPort->SetAfterClose(TOpenCloseEvent::Of<&TMonitor::PortAfterClose>(this));
        FSignal = new TComSignal(this);
        FSignal->SetSignal(siRxChar);
        FSignal->SetOnSignal(TNotifyEvent::Of<&TMonitor::SignalChanged>(this));
        FSignal->SetComPort(FPort);
    }

    /// Opens the port; false (with the reason printed) when it cannot.
    bool Open() {
        try {
            FPort->Open();
            return true;
        } catch (const std::exception&) {
            return false; // PortError has said why
        }
    }

  private:
    void PortRxChar(TObject*) {
        const AnsiString chunk = FPort->ReadAnsiString();
        std::printf("%8.3f  rx %zu byte(s): %s\n", Seconds(), chunk.size(),
                    Printable(chunk).c_str());
    }
    void SignalChanged(TObject*) {
        std::printf("%8.3f  RX %s\n", Seconds(), FSignal->SignalValue() ? "on" : "off");
    }
    void PortError(TCustomComPort*, EComError& E, TComAction& Action) {
        std::fprintf(stderr, "%8.3f  error %d: %s\n", Seconds(), E.ErrorCode, E.what());
        Action = caAbort; // reported here, once
    }
    void PortAfterClose(TCustomComPort*) { rtl::PlainLoop().Quit(); }

    TComPort* FPort = nullptr;
    TComSignal* FSignal = nullptr;
};

/// Plays a short exchange into a pty master, one chunk per tick, then hangs up.
class TFeeder : public TComponent {
  public:
    explicit TFeeder(int master) : TComponent(nullptr), FMaster(master) {
        FTimer = new rtl::TTimer(this);
        FTimer->SetInterval(400);
        FTimer->SetOnTimer(rtl::TNotifyEvent::Of<&TFeeder::Tick>(this));
    }
    ~TFeeder() override {
        if (FMaster >= 0) close(FMaster);
    }

  private:
    void Tick(TObject*) {
        static const std::vector<std::string> chunks = {"hello\r", "w", "21.5f", "\x01\x02\x03",
                                                        "a longer line of text\r"};
        if (FNext < chunks.size()) {
            const std::string& c = chunks[FNext++];
            if (write(FMaster, c.data(), c.size()) < 0) std::perror("write");
            return;
        }
        FTimer->SetEnabled(false);
        close(FMaster); // the port sees its device vanish and closes
        FMaster = -1;
    }

    int FMaster;
    size_t FNext = 0;
    rtl::TTimer* FTimer = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    rtl::PlainLoop().BindToCurrentThread();

    // Ctrl-C ends the loop from a thread of its own: a signal handler may not post.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::thread stopper([&stops] {
        int sig = 0;
        sigwait(&stops, &sig);
        if (sig != SIGUSR1) rtl::PlainLoop().Post([] { rtl::PlainLoop().Quit(); });
    });

    int master = -1;
    std::string device;
    if (argc > 1) {
        device = argv[1];
    } else {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            return 1;
        }
        close(slave);
        device = name;
        std::printf("playing a short exchange into %s\n", name);
    }

    int status = 0;
    {
        TMonitor monitor(rtl::Utf8ToString(device));
        if (monitor.Open()) {
            std::printf("watching %s\n", device.c_str());
            TFeeder* feeder = master >= 0 ? new TFeeder(master) : nullptr;
            rtl::PlainLoop().Run();
            delete feeder;
        } else {
            status = 1;
            if (master >= 0) close(master);
        }
    }

    pthread_kill(stopper.native_handle(), SIGUSR1);
    stopper.join();
    return status;
}
