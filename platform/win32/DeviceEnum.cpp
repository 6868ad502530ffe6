// The machine's serial ports on Windows: the serial device map in the registry
// (HARDWARE\DEVICEMAP\SERIALCOMM), with the friendly names and device-tree places SetupAPI
// gives for the ports class. A port SetupAPI does not know (Wine's) keeps its own name.
#include "platform/DeviceEnum.h"

#include "platform/win32/Win32Text.h"

#include <mutex>

// initguid.h comes after the headers and before the GUIDs it defines.
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>
// clang-format on

// The platform's own QueryDosDevice is defined here, not the system's W/A switch.
#undef QueryDosDevice

namespace {
const ::HANDLE InvalidHandle = INVALID_HANDLE_VALUE;
}

namespace qwin {

namespace {

struct TSetupPort {
    std::string FriendlyName;
    std::string InstancePath; // USB\VID_0403&PID_6001\A50285BI
};

std::wstring RegString(HKEY key, const wchar_t* name) {
    wchar_t buf[512];
    ::DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    buf[size / sizeof(wchar_t)] = 0;
    return buf;
}

// SetupAPI's ports by port name (COM5).
std::vector<std::pair<std::string, TSetupPort>> SetupPorts() {
    std::vector<std::pair<std::string, TSetupPort>> ports;
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == InvalidHandle) return ports;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == reinterpret_cast<HKEY>(InvalidHandle)) continue;
        const std::wstring portName = RegString(key, L"PortName");
        ::RegCloseKey(key);
        if (portName.empty()) continue;
        TSetupPort port;
        wchar_t buf[512];
        if (::SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<BYTE*>(buf), sizeof buf, nullptr))
            port.FriendlyName = detail::Narrow(buf);
        if (::SetupDiGetDeviceInstanceIdW(set, &info, buf, 512, nullptr))
            port.InstancePath = detail::Narrow(buf);
        ports.emplace_back(detail::Narrow(portName), port);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

std::vector<std::string> SplitInstance(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = path.find('\\', start)) != std::string::npos; start = end + 1)
        parts.push_back(path.substr(start, end - start));
    parts.push_back(path.substr(start));
    return parts;
}

} // namespace

// The root names a recorded Linux tree; Windows has only the live registry.
std::vector<TSerialPort> ListSerialPorts(const std::string&) {
    std::vector<TSerialPort> ports;
    HKEY map;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &map) != ERROR_SUCCESS)
        return ports;
    const auto setup = SetupPorts();
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[256];
        ::DWORD nameSize = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG rc = ::RegEnumValueW(map, i, name, &nameSize, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = 0;
        const std::string portName = detail::Narrow(data);
        std::string device = detail::Narrow(name); // \Device\Serial4
        device = device.substr(device.rfind('\\') + 1);
        TSerialPort p{TPortSource::Sysfs, portName, portName, "ROOT", "PORTS", device, {}, {}, {}};
        for (const auto& [setupName, s] : setup) {
            if (setupName != portName) continue;
            if (!s.FriendlyName.empty()) p.FriendlyName = s.FriendlyName;
            const auto parts = SplitInstance(s.InstancePath);
            if (parts.size() == 3) {
                p.Enumerator = parts[0];
                p.DeviceId = parts[1];
                p.InstanceId = parts[2];
            }
        }
        ports.push_back(p);
    }
    ::RegCloseKey(map);
    return ports;
}

std::vector<std::string> ListDeviceNames(const std::string&) {
    std::vector<wchar_t> buf(65536);
    const DWORD n = ::QueryDosDeviceW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    std::vector<std::string> names;
    for (DWORD start = 0, i = 0; i < n; ++i) {
        if (buf[i] != 0) continue;
        if (i > start) names.push_back(detail::Narrow(std::wstring(buf.data() + start, i - start)));
        start = i + 1;
    }
    return names;
}

DWORD QueryDosDevice(const char16_t* deviceName, char16_t* targetPath, DWORD ucchMax) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const DWORD n = ::QueryDosDeviceW(reinterpret_cast<const wchar_t*>(deviceName),
                                      reinterpret_cast<wchar_t*>(targetPath), ucchMax);
    if (n == 0) SetLastError(::GetLastError());
    return n;
}

} // namespace qwin
