// Device names and closed-device defaults on Windows: ports live in the \\.\ name space,
// names compare without regard to case, and the system keeps defaults and a dialog of its own.
#include "platform/DeviceNames.h"
#include "platform/win32/Win32Text.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace qwin::detail {

std::string SystemDevicePath(const std::string& bare) {
    return "\\\\.\\" + bare;
}

bool IsSystemPath(const std::string& name) {
    return name.find_first_of("\\/") != std::string::npos;
}

std::string SystemDeviceKey(const std::string& path) {
    std::string key = path;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

namespace {
// The name the configuration calls take: the port's own, without the \\.\ prefix.
std::wstring PortName(const std::string& path) {
    return Widen(path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path);
}
} // namespace

// Asking the system for the default does not open the port.
DWORD CheckClosedDevice(const std::string& path, qwin::DCB& seed) {
    ::COMMCONFIG cc{};
    ::DWORD size = sizeof cc;
    cc.dwSize = size;
    if (!::GetDefaultCommConfigW(PortName(path).c_str(), &cc, &size)) {
        const DWORD code = ::GetLastError();
        return code == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : code;
    }
    std::memcpy(&seed, &cc.dcb, sizeof seed);
    return 0;
}

bool SystemConfigDialog(const string& name, qwin::HWND owner, qwin::COMMCONFIG& cc) {
    std::string path = rtl::StringToUtf8(name);
    ::COMMCONFIG real;
    static_assert(sizeof real == sizeof cc);
    std::memcpy(&real, &cc, sizeof real);
    if (!::CommConfigDialogW(PortName(path).c_str(), reinterpret_cast<::HWND>(owner), &real))
        return Fail(::GetLastError());
    std::memcpy(&cc, &real, sizeof cc);
    return true;
}

} // namespace qwin::detail
