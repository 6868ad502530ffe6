#include "platform/DeviceEnum.h"

#include "platform/PortRegistry.h"
#include "platform/linux/SysfsSerial.h"
#include "rtl/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>

namespace qwin {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string NodeName(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
}

TSerialPort FromSysfs(const TSysfsSerialDevice& d) {
    TSerialPort p{TPortSource::Sysfs, d.DevicePath, d.FriendlyName, {}, {}, d.Name, {}, {}, {}};
    if (!d.VendorId.empty()) {
        const std::string ids = "VID_" + Upper(d.VendorId) + "&PID_" + Upper(d.ProductId);
        p.Enumerator = "USB";
        p.DeviceId = d.InterfaceNumber.empty() ? ids : ids + "&MI_" + Upper(d.InterfaceNumber);
        p.ParentDeviceId = ids;
        p.ParentInstanceId = d.Serial.empty() ? d.UsbDevice : d.Serial;
        p.ParentFriendlyName =
            d.Product.empty() ? "USB device " + d.VendorId + ":" + d.ProductId : d.Product;
    } else {
        p.Enumerator = d.Bus.empty() ? "UNKNOWN" : Upper(d.Bus);
        p.DeviceId = Upper(d.Driver);
    }
    return p;
}

// Copies names as a NUL-separated list ended by one more NUL, or fails whole.
DWORD StoreMultiString(const std::vector<std::string>& names, char16_t* target, DWORD capacity) {
    std::vector<rtl::string> texts;
    size_t total = 1;
    for (const auto& name : names) {
        texts.push_back(rtl::Utf8ToString(name));
        total += texts.back().size() + 1;
    }
    if (total > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char16_t* out = target;
    for (const auto& text : texts) {
        std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
        out += text.size();
        *out++ = u'\0';
    }
    *out++ = u'\0';
    return static_cast<DWORD>(out - target);
}

} // namespace

std::vector<TSerialPort> ListSerialPorts(const std::string& root) {
    std::vector<TSerialPort> ports;
    for (const auto& d : ReadSysfsSerialDevices(root))
        ports.push_back(FromSysfs(d));
    int index = 0;
    for (const auto& r : ListRegisteredPorts()) {
        char instance[16];
        std::snprintf(instance, sizeof instance, "%04d", index++);
        const std::string name = r.FriendlyName.empty() ? "Virtual serial port" : r.FriendlyName;
        ports.push_back({TPortSource::Registered,
                         r.Path,
                         name + " (" + NodeName(r.Path) + ")",
                         "ROOT",
                         "PORTS",
                         instance,
                         {},
                         {},
                         {}});
    }
    return ports;
}

std::vector<std::string> ListDeviceNames(const std::string& root) {
    const std::string devDir = UnderRoot(root, "/dev");
    std::vector<std::string> entries;
    if (DIR* dir = ::opendir(devDir.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            struct stat st {};
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                S_ISDIR(st.st_mode))
                continue;
            entries.emplace_back(e->d_name);
        }
        ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end(), NaturalLess);
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back("/dev/" + e);
    for (const auto& r : ListRegisteredPorts())
        names.push_back(r.Path);
    return names;
}

DWORD QueryDosDevice(const char16_t* deviceName, char16_t* targetPath, DWORD ucchMax) {
    if (!targetPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string root = SystemRoot();
    if (!deviceName) return StoreMultiString(ListDeviceNames(root), targetPath, ucchMax);

    const std::string name = rtl::StringToUtf8(deviceName);
    std::string resolved =
        name.empty() || name[0] != '/' ? std::string() : RealPath(UnderRoot(root, name));
    if (resolved.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::string top = RealPath(root);
    if (top != "/" && resolved.compare(0, top.size(), top) == 0) resolved.erase(0, top.size());
    return StoreMultiString({resolved}, targetPath, ucchMax);
}

} // namespace qwin
