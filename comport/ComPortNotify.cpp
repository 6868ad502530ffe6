// Device arrival and removal: a hook on the application's main window, registered while
// either handler is assigned. The messages come from the platform's device monitor.
#include "comport/ComPort.h"
#include "platform/DeviceNotify.h"

#include <cstring>

namespace quillon {

namespace {

using namespace qwin;

rtl::TWindowHook HookOf(TCustomComPort* port) {
    return rtl::TWindowHook::Of<&TCustomComPort::DeviceChangeHook>(port);
}

} // namespace

void TCustomComPort::SetOnDeviceArrival(TDeviceArrivalEvent h) {
    if (h == FOnDeviceArrival) return;
    FOnDeviceArrival = h;
    if (IsDesigning()) return;
    if (FOnDeviceArrival.Assigned() || FOnDeviceRemoved.Assigned())
        StartDeviceNotification();
    else
        StopDeviceNotification();
}

void TCustomComPort::SetOnDeviceRemoved(TDeviceRemovedEvent h) {
    if (h == FOnDeviceRemoved) return;
    FOnDeviceRemoved = h;
    if (IsDesigning()) return;
    if (FOnDeviceArrival.Assigned() || FOnDeviceRemoved.Assigned())
        StartDeviceNotification();
    else
        StopDeviceNotification();
}

bool TCustomComPort::StartDeviceNotification() {
    if (FNotificationHandle) return true;
    rtl::Application().HookMainWindow(HookOf(this));
    DEV_BROADCAST_DEVICEINTERFACE filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    FNotificationHandle = RegisterDeviceNotification(rtl::Application().Handle(), &filter,
                                                     DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!FNotificationHandle) {
        rtl::Application().UnhookMainWindow(HookOf(this));
        return false;
    }
    return true;
}

bool TCustomComPort::StopDeviceNotification() {
    if (!FNotificationHandle) return true;
    const bool result = UnregisterDeviceNotification(FNotificationHandle);
    FNotificationHandle = nullptr;
    rtl::Application().UnhookMainWindow(HookOf(this));
    return result;
}

bool TCustomComPort::DeviceChangeHook(rtl::TMessage& Message) {
    if (Message.Msg != WM_DEVICECHANGE) return false;
    TDeviceArrivalEvent handler;
    if (Message.WParam == DBT_DEVICEARRIVAL)
        handler = FOnDeviceArrival;
    else if (Message.WParam == DBT_DEVICEREMOVECOMPLETE)
        handler = FOnDeviceRemoved;
    else
        return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(Message.LParam);
    if (!header) return false;
    const DWORD type = header->dbch_devicetype;
    if ((type == DBT_DEVTYP_PORT || type == DBT_DEVTYP_DEVICEINTERFACE) && handler.Assigned())
        handler(this, BroadcastName(*header));
    // Never handled here: other hooks and the window still see the message.
    return false;
}

} // namespace quillon
