#pragma once
// Inside the platform layer: the system's source of device arrivals and removals, running
// while device notifications are registered. One source per system, chosen in CMake:
// kernel uevents and the registry of virtual ports on Linux (TDeviceMonitor), the system's
// device notifications on a message-only window on Windows.
#include "platform/notify/DeviceChange.h"

#include <functional>
#include <memory>

namespace qwin::detail {

class TDeviceWatch {
  public:
    /// Called on the watch's own thread for every change.
    using Sink = std::function<void(const TDeviceChange&)>;

    TDeviceWatch();
    ~TDeviceWatch();
    TDeviceWatch(const TDeviceWatch&) = delete;
    TDeviceWatch& operator=(const TDeviceWatch&) = delete;

    /// Starts watching; false, with the last error set, when the thread cannot start.
    bool Start(Sink sink);
    /// Ends the thread; the sink is not called afterwards. Never call it from the sink.
    void Stop();

  private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace qwin::detail
