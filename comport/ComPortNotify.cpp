// First step: the handlers are stored; registration with the device monitor comes next.
#include "comport/ComPort.h"

namespace quillon {

bool TCustomComPort::StartDeviceNotification() { return false; }
bool TCustomComPort::StopDeviceNotification() { return true; }
bool TCustomComPort::DeviceChangeHook(rtl::TMessage&) { return false; }

void TCustomComPort::SetOnDeviceArrival(TDeviceArrivalEvent h) { FOnDeviceArrival = h; }
void TCustomComPort::SetOnDeviceRemoved(TDeviceRemovedEvent h) { FOnDeviceRemoved = h; }

} // namespace quillon
