// Device names and closed-device defaults on Linux: devices live under /dev, a symlink and
// its target are one device, and the defaults of closed devices are the process's own.
#include "platform/DeviceNames.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace qwin::detail {

std::string SystemDevicePath(const std::string& bare) {
    return "/dev/" + bare;
}

bool IsSystemPath(const std::string& name) {
    return name.find('/') != std::string::npos;
}

std::string SystemDeviceKey(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

// stat does not open the device, which would pulse DTR/RTS.
DWORD CheckClosedDevice(const std::string& path, DCB&) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return static_cast<DWORD>(errno);
    if (S_ISDIR(st.st_mode)) return EISDIR;
    return S_ISCHR(st.st_mode) ? 0 : ENOTTY;
}

bool SystemConfigDialog(const string&, HWND, COMMCONFIG&) {
    return Fail(ENOTSUP);
}

} // namespace qwin::detail
