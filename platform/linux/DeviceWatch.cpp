// Device changes on Linux: the uevent and registry monitor.
#include "platform/notify/DeviceWatch.h"

#include "platform/PortRegistry.h"
#include "platform/linux/DeviceMonitor.h"

namespace qwin::detail {

struct TDeviceWatch::TImpl {
    TDeviceMonitor Monitor;
};

TDeviceWatch::TDeviceWatch() : FImpl(std::make_unique<TImpl>()) {}
TDeviceWatch::~TDeviceWatch() = default;

bool TDeviceWatch::Start(Sink sink) {
    return FImpl->Monitor.Start(std::move(sink), PortRegistryDir());
}

void TDeviceWatch::Stop() {
    FImpl->Monitor.Stop();
}

} // namespace qwin::detail
