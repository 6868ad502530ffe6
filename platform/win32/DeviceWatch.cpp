// Device changes on Windows: a message-only window on the watch's own thread registers for
// the serial-port and USB-device interface classes; WM_DEVICECHANGE arrivals and removals
// become changes. A serial interface is reported as a port under its port name (COM5).
#include "platform/notify/DeviceWatch.h"

#include "platform/core/Device.h"
#include "platform/win32/Win32Text.h"

#include <thread>

// initguid.h comes after the headers and before the GUIDs it defines.
// clang-format off
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
#include <initguid.h>
#include <usbiodef.h>
// clang-format on

namespace {
const ::HANDLE InvalidHandle = INVALID_HANDLE_VALUE;
const ::HWND MessageOnly = HWND_MESSAGE;
// The serial-port interface class (ntddser.h, which needs the driver kit's types).
const GUID SerialPortClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
} // namespace

namespace qwin::detail {

namespace {

const wchar_t* const WindowClass = L"QuillonDeviceWatch";

// The port name of a serial interface path, from its device's registry key.
std::string PortNameOf(const wchar_t* interfacePath) {
    std::string name;
    HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == InvalidHandle) return name;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (::SetupDiOpenDeviceInterfaceW(set, interfacePath, 0, &iface)) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (::SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, nullptr, &info) ||
            ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            if (key != reinterpret_cast<HKEY>(InvalidHandle)) {
                wchar_t buf[64];
                ::DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
                if (::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS &&
                    type == REG_SZ) {
                    buf[size / sizeof(wchar_t)] = 0;
                    name = Narrow(buf);
                }
                ::RegCloseKey(key);
            }
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return name;
}

} // namespace

struct TDeviceWatch::TImpl {
    Sink FSink;
    std::thread FThread;
    ::HWND FWindow = nullptr;

    static LRESULT CALLBACK Proc(::HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<TImpl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_DEVICECHANGE && self &&
            (wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE)) {
            self->Report(wp == DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(lp));
            return TRUE;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        if (msg == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }

    void Report(bool arrival, const DEV_BROADCAST_HDR* header) {
        if (!header) return;
        if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
            const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
            FSink({arrival, DBT_DEVTYP_PORT, Narrow(port->dbcp_name)});
        } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
            if (IsEqualGUID(iface->dbcc_classguid, SerialPortClass)) {
                // A removed device has no registry key left to name it: report its path.
                std::string name = arrival ? PortNameOf(iface->dbcc_name) : std::string();
                FSink({arrival, DBT_DEVTYP_PORT, name.empty() ? Narrow(iface->dbcc_name) : name});
            } else {
                FSink({arrival, DBT_DEVTYP_DEVICEINTERFACE, Narrow(iface->dbcc_name)});
            }
        }
    }

    // Runs on the watch's thread; started tells Start whether the window exists.
    void Run(::HANDLE started, DWORD* error) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = WindowClass;
        ::RegisterClassExW(&wc); // fails harmlessly when registered before
        FWindow = ::CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, ::MessageOnly, nullptr,
                                    wc.hInstance, nullptr);
        if (!FWindow) {
            *error = ::GetLastError();
            ::SetEvent(started);
            return;
        }
        ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        HDEVNOTIFY notes[2] = {};
        const GUID classes[2] = {SerialPortClass, GUID_DEVINTERFACE_USB_DEVICE};
        for (int i = 0; i < 2; ++i) {
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = classes[i];
            notes[i] = ::RegisterDeviceNotificationW(FWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        ::SetEvent(started);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
        for (HDEVNOTIFY n : notes)
            if (n) ::UnregisterDeviceNotification(n);
        FWindow = nullptr;
    }
};

TDeviceWatch::TDeviceWatch() : FImpl(std::make_unique<TImpl>()) {}
TDeviceWatch::~TDeviceWatch() {
    Stop();
}

bool TDeviceWatch::Start(Sink sink) {
    if (FImpl->FThread.joinable()) return true;
    FImpl->FSink = std::move(sink);
    ::HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!started) return Fail(::GetLastError());
    DWORD error = 0;
    FImpl->FThread = std::thread([this, started, &error] { FImpl->Run(started, &error); });
    ::WaitForSingleObject(started, INFINITE);
    ::CloseHandle(started);
    if (error != 0) {
        FImpl->FThread.join();
        return Fail(error);
    }
    return true;
}

void TDeviceWatch::Stop() {
    if (!FImpl || !FImpl->FThread.joinable()) return;
    ::PostMessageW(FImpl->FWindow, WM_CLOSE, 0, 0);
    FImpl->FThread.join();
}

} // namespace qwin::detail
