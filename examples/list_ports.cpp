// Lists the machine's serial ports with their friendly names, then prints each arrival and
// removal of a device as it happens, until interrupted.
//
//   list_ports           the machine
//   list_ports --once    list and exit
//   list_ports DIR       a recorded tree (DIR holds sys/ and dev/), listed once
#include "comport/ComPort.h"
#include "platform/DeviceEnum.h"
#include "rtl/MainLoop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using quillon::TComPort;

int g_wake[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 0;
    [[maybe_unused]] auto n = ::write(g_wake[1], &byte, 1);
}

void Print(const char* title, rtl::TStringList& list) {
    std::printf("%s\n", title);
    if (list.Count() == 0) std::printf("  (none)\n");
    for (const auto& item : list.Items())
        std::printf("  %s\n", rtl::StringToUtf8(item).c_str());
}

class TWatcher {
  public:
    void Arrival(rtl::TObject*, const rtl::string& name) { Report("arrived", name); }
    void Removal(rtl::TObject*, const rtl::string& name) { Report("removed", name); }

  private:
    static void Report(const char* what, const rtl::string& name) {
        std::printf("%s: %s\n", what, rtl::StringToUtf8(name).c_str());
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    bool watch = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--once") == 0) {
            watch = false;
        } else if (argv[i][0] != '-') {
            qwin::SetSystemRoot(argv[i]);
            watch = false; // a recorded tree does not change
        } else {
            std::fprintf(stderr, "usage: %s [--once] [TREE]\n", argv[0]);
            return 2;
        }
    }

    TComPort port(nullptr);
    rtl::TStringList ports, names;
    port.EnumComDevicesFromRegistry(ports);
    port.EnumComFriendlyNames(names);
    Print("Serial ports:", ports);
    Print("Friendly names:", names);
    if (!watch) return 0;

    // A signal handler may only write to a pipe; a thread reading it ends the loop.
    if (::pipe(g_wake) != 0) return 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::thread waker([] {
        char byte;
        while (::read(g_wake[0], &byte, 1) < 0 && errno == EINTR) {
        }
        rtl::PlainLoop().Post([] { rtl::PlainLoop().Quit(); });
    });

    TWatcher watcher;
    port.SetOnDeviceArrival(quillon::TDeviceArrivalEvent::Of<&TWatcher::Arrival>(&watcher));
    port.SetOnDeviceRemoved(quillon::TDeviceRemovedEvent::Of<&TWatcher::Removal>(&watcher));
    std::printf("Watching for arrivals and removals (Ctrl-C ends)...\n");
    std::fflush(stdout);
    rtl::PlainLoop().Run();
    waker.join();
    return 0;
}
