#include "platform/DeviceNotify.h"

#include "platform/notify/DeviceWatch.h"
#include "rtl/Application.h"
#include "rtl/MainLoop.h"
#include "rtl/Text.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>

namespace qwin {

namespace {

struct TRegistration {
    HWND Recipient;
    bool UsbDevices; // asked for the USB device interface class
};

struct TNotifyState {
    std::mutex Mutex;
    std::map<uintptr_t, TRegistration> Registrations;
    uintptr_t NextId = 1;
    // Bumped whenever the monitor stops: changes posted before then are dropped.
    uint64_t Generation = 0;
    detail::TDeviceWatch Monitor;
};

TNotifyState& State() {
    static TNotifyState state;
    return state;
}

// Runs on the main thread.
void Deliver(const TDeviceChange& change, uint64_t generation) {
    {
        TNotifyState& s = State();
        std::lock_guard lock(s.Mutex);
        if (generation != s.Generation) return;
        if (change.DeviceType == DBT_DEVTYP_DEVICEINTERFACE) {
            bool wanted = false;
            for (const auto& [id, r] : s.Registrations)
                wanted = wanted || r.UsbDevices;
            if (!wanted) return;
        }
    }
    const TDeviceBroadcast record(change.DeviceType, rtl::Utf8ToString(change.Name),
                                  GUID_DEVINTERFACE_USB_DEVICE);
    rtl::TMessage message;
    message.Msg = WM_DEVICECHANGE;
    message.WParam = change.Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    message.LParam = record.LParam();
    try {
        rtl::Application().DispatchMessage(message);
    } catch (...) {
        rtl::Application().HandleException(std::current_exception());
    }
}

size_t NameOffset(DWORD deviceType) {
    if (deviceType == DBT_DEVTYP_PORT) return offsetof(DEV_BROADCAST_PORT, dbcp_name);
    if (deviceType == DBT_DEVTYP_DEVICEINTERFACE)
        return offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
    return 0;
}

} // namespace

HDEVNOTIFY RegisterDeviceNotification(HWND hRecipient, const void* notificationFilter,
                                      DWORD flags) {
    const auto* filter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(notificationFilter);
    if (hRecipient == 0 || !filter || flags != DEVICE_NOTIFY_WINDOW_HANDLE ||
        filter->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        filter->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    rtl::MainLoop(); // made before the state, so it outlives the monitor at exit
    TNotifyState& s = State();
    std::lock_guard lock(s.Mutex);
    if (s.Registrations.empty()) {
        const uint64_t generation = s.Generation;
        auto post = [generation](const TDeviceChange& change) {
            rtl::MainLoop().Post([change, generation] { Deliver(change, generation); });
        };
        if (!s.Monitor.Start(post)) return nullptr;
    }
    const uintptr_t id = s.NextId++;
    s.Registrations[id] = {hRecipient, filter->dbcc_classguid == GUID_DEVINTERFACE_USB_DEVICE};
    return reinterpret_cast<HDEVNOTIFY>(id);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) {
    TNotifyState& s = State();
    std::lock_guard lock(s.Mutex);
    if (s.Registrations.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (s.Registrations.empty()) {
        ++s.Generation;
        s.Monitor.Stop(); // the monitor only posts, so joining it here cannot block
    }
    return TRUE;
}

TDeviceBroadcast::TDeviceBroadcast(DWORD deviceType, const string& name, const GUID& classGuid) {
    const size_t offset = deviceType == DBT_DEVTYP_PORT ? NameOffset(deviceType)
                                                        : NameOffset(DBT_DEVTYP_DEVICEINTERFACE);
    const DWORD size = static_cast<DWORD>(offset + (name.size() + 1) * sizeof(char16_t));
    FStorage.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto* bytes = reinterpret_cast<char*>(FStorage.data());
    const DEV_BROADCAST_HDR header{size, deviceType, 0};
    std::memcpy(bytes, &header, sizeof header);
    if (deviceType == DBT_DEVTYP_DEVICEINTERFACE)
        std::memcpy(bytes + offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_classguid), &classGuid,
                    sizeof classGuid);
    std::memcpy(bytes + offset, name.data(), name.size() * sizeof(char16_t));
}

const DEV_BROADCAST_HDR* TDeviceBroadcast::Header() const {
    return reinterpret_cast<const DEV_BROADCAST_HDR*>(FStorage.data());
}

string BroadcastName(const DEV_BROADCAST_HDR& header) {
    const size_t offset = NameOffset(header.dbch_devicetype);
    if (offset == 0 || header.dbch_size <= offset) return {};
    const char* chars = reinterpret_cast<const char*>(&header) + offset;
    const size_t count = (header.dbch_size - offset) / sizeof(char16_t);
    string name;
    for (size_t i = 0; i < count; ++i) {
        char16_t c;
        std::memcpy(&c, chars + i * sizeof c, sizeof c);
        if (c == 0) break;
        name.push_back(c);
    }
    return name;
}

} // namespace qwin
