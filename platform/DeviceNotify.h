#pragma once
// Device arrival and removal messages, shaped like the Windows ones: a registration on the
// application's main window, and WM_DEVICECHANGE messages whose LParam points at a
// DEV_BROADCAST_* record. A watch thread (DeviceWatch.h) sees the system's changes: kernel
// uevents (tty devices and USB devices) and the registry of virtual ports on Linux, the
// system's own device notifications on Windows. It posts each change to the main thread,
// where rtl::Application().DispatchMessage passes it to the window's hooks.
#include "platform/WinApi.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qwin {

constexpr uint32_t WM_DEVICECHANGE = 0x0219;
constexpr uintptr_t DBT_DEVICEARRIVAL = 0x8000, DBT_DEVICEQUERYREMOVE = 0x8001,
                    DBT_DEVICEQUERYREMOVEFAILED = 0x8002, DBT_DEVICEREMOVEPENDING = 0x8003,
                    DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_OEM = 0, DBT_DEVTYP_VOLUME = 2, DBT_DEVTYP_PORT = 3,
                DBT_DEVTYP_DEVICEINTERFACE = 5, DBT_DEVTYP_HANDLE = 6;
constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;

/// A class identifier, laid out as Windows lays it out.
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
/// Member-wise equality.
inline bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::equal(a.Data4, a.Data4 + 8, b.Data4);
}

/// The interface class of USB devices: registering for it brings their arrivals and removals.
constexpr GUID GUID_DEVINTERFACE_USB_DEVICE = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

/// The part every device-change record starts with; the type says which record it is.
struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

/// A serial port; dbcp_name is its zero-terminated UTF-16 device path (/dev/ttyUSB0).
struct DEV_BROADCAST_PORT {
    DWORD dbcp_size;
    DWORD dbcp_devicetype;
    DWORD dbcp_reserved;
    char16_t dbcp_name[1];
};

/// A device interface; dbcc_name is its zero-terminated UTF-16 path (/dev/bus/usb/001/005).
struct DEV_BROADCAST_DEVICEINTERFACE {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    char16_t dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE) == 32, "the filter record is 32 bytes");

/// Asks for device-change messages on the application's main window. The filter must be a
/// DEV_BROADCAST_DEVICEINTERFACE; port messages come to every registration, interface
/// messages to those whose class is GUID_DEVINTERFACE_USB_DEVICE. Returns nullptr with
/// ERROR_INVALID_PARAMETER for a bad recipient, filter or flag, or with the system's code
/// when the monitor cannot start. Sources the system lacks (uevents in a container) are
/// left out silently.
HDEVNOTIFY RegisterDeviceNotification(HWND hRecipient, const void* notificationFilter, DWORD flags);
/// Ends a registration; FALSE with ERROR_INVALID_HANDLE for an unknown one. The monitor
/// stops with the last registration, and changes it had not delivered yet are dropped.
BOOL UnregisterDeviceNotification(HDEVNOTIFY handle);

/// A broadcast record of either kind with its name, in storage of its own.
class TDeviceBroadcast {
  public:
    /// DBT_DEVTYP_PORT gives a DEV_BROADCAST_PORT; any other type the interface layout.
    TDeviceBroadcast(DWORD deviceType, const string& name, const GUID& classGuid = {});
    /// The record, which lives as long as this object.
    const DEV_BROADCAST_HDR* Header() const;
    /// The record's address, as a message's LParam carries it.
    intptr_t LParam() const { return reinterpret_cast<intptr_t>(Header()); }

  private:
    std::vector<DWORD> FStorage; // DWORD-aligned, as the records need
};

/// The name a record carries (dbcp_name or dbcc_name), read no further than its size;
/// empty for other device types.
string BroadcastName(const DEV_BROADCAST_HDR& header);

} // namespace qwin
