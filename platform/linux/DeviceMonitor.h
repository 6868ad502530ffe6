#pragma once
// Inside the platform layer: the thread behind device notifications.
#include "platform/linux/DeviceUevent.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qwin::detail {

/// Watches the kernel's uevents and the directory of the virtual port registry on a
/// thread of its own, asleep in poll until one of them or the stop descriptor wakes it.
/// Registered ports are compared with the last listing after each burst of directory
/// events, so a port registered and released within one burst is not reported.
class TDeviceMonitor {
  public:
    /// Called on the monitor's thread for every change.
    using Sink = std::function<void(const TDeviceChange&)>;

    TDeviceMonitor() = default;
    ~TDeviceMonitor() { Stop(); }
    TDeviceMonitor(const TDeviceMonitor&) = delete;
    TDeviceMonitor& operator=(const TDeviceMonitor&) = delete;

    /// Opens the sources, notes the ports registered now (they are not reported) and starts
    /// the thread. A source that cannot be opened is left out; false, with the last error
    /// set, only when the stop descriptor or the thread cannot be made.
    bool Start(Sink sink, const std::string& registryDir);
    /// Wakes the thread and joins it; the sink is not called afterwards. Never call it from
    /// the sink.
    void Stop();
    bool Running() const { return FThread.joinable(); }
    /// Whether the kernel's uevents are watched (not in every container).
    bool WatchesUevents() const { return FUeventFd >= 0; }
    /// Whether the registry's directory, or its parent until it appears, is watched.
    bool WatchesRegistry() const { return FDirWatch >= 0 || FParentWatch >= 0; }

  private:
    void Run();
    void ReadUevents();
    void ReadRegistryEvents();
    void WatchRegistry();
    void Rescan();

    Sink FSink;
    std::string FRegistryDir;
    int FStopFd = -1;
    int FUeventFd = -1;
    int FInotifyFd = -1;
    // Changed by the thread as the directory comes and goes.
    std::atomic<int> FDirWatch{-1};
    std::atomic<int> FParentWatch{-1};
    std::vector<std::string> FKnownPorts; // device paths, as often as registered
    std::thread FThread;
};

} // namespace qwin::detail
