#include "platform/DeviceNames.h"

namespace qwin {

HANDLE CreateFile(const string& name, DWORD, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    using namespace detail;
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = NormaliseDeviceName(name);
    // An empty name must not become "/dev/": report the missing device, touch nothing.
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (path.find('\0') != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<Device> dev;
    if (Opener opener = NamespaceOpener(path))
        dev = opener(path);
    else
        dev = OpenSystemDevice(path); // a relative path with a '/' resolves like any file's
    if (!dev) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return AddDevice(std::move(dev), DeviceKey(path));
}

} // namespace qwin
