#include "platform/linux/SysfsSerial.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qwin {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Trim(std::string s) {
    const char* ws = " \t\r\n";
    s.erase(s.find_last_not_of(ws) + 1);
    s.erase(0, std::min(s.size(), s.find_first_not_of(ws)));
    return s;
}

// sysfs attributes are small single values; anything larger is not one of them.
bool ReadAttribute(const std::string& path, std::string& value) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0) return false;
    value = Trim(std::string(buffer, static_cast<size_t>(n)));
    return true;
}

std::string Attribute(const std::string& path) {
    std::string value;
    return ReadAttribute(path, value) ? value : std::string();
}

std::string Basename(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The last component of a symlink's target, without following it: driver directories of
// a recorded tree need not exist.
std::string LinkName(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    return Basename(std::string(target, static_cast<size_t>(n)));
}

std::string UeventValue(const std::string& uevent, const std::string& key) {
    const std::string prefix = key + "=";
    size_t pos = 0;
    while (pos < uevent.size()) {
        size_t end = uevent.find('\n', pos);
        if (end == std::string::npos) end = uevent.size();
        if (uevent.compare(pos, prefix.size(), prefix) == 0)
            return uevent.substr(pos + prefix.size(), end - pos - prefix.size());
        pos = end + 1;
    }
    return {};
}

bool ParseInt(const std::string& text, int& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto r = std::from_chars(first, last, value);
    return r.ec == std::errc() && r.ptr == last && first != last;
}

// Walks up from the tty's parent device to the USB interface and the USB device that own
// it, stopping at the top of the tree.
void ReadUsbAttributes(const std::string& deviceDir, const std::string& sysTop,
                       TSysfsSerialDevice& d) {
    std::string dir = deviceDir;
    while (dir.size() > sysTop.size() && dir.compare(0, sysTop.size(), sysTop) == 0) {
        if (d.InterfaceNumber.empty() && Exists(dir + "/bInterfaceNumber")) {
            d.InterfaceNumber = Attribute(dir + "/bInterfaceNumber");
            d.Interface = Attribute(dir + "/interface");
        }
        if (Exists(dir + "/idVendor")) {
            d.UsbDevice = Basename(dir);
            d.VendorId = Attribute(dir + "/idVendor");
            d.ProductId = Attribute(dir + "/idProduct");
            d.Manufacturer = Attribute(dir + "/manufacturer");
            d.Product = Attribute(dir + "/product");
            d.Serial = Attribute(dir + "/serial");
            return;
        }
        dir.erase(dir.find_last_of('/'));
    }
    d.InterfaceNumber.clear();
    d.Interface.clear();
}

const char* UartName(int type) {
    // The kernel's PORT_* numbers of the UARTs commonly met.
    switch (type) {
    case 1:
        return "8250";
    case 2:
        return "16450";
    case 3:
        return "16550";
    case 4:
        return "16550A";
    case 6:
        return "16650";
    case 7:
        return "16650V2";
    case 8:
        return "16750";
    case 10:
        return "16C950";
    case 11:
        return "16654";
    case 12:
        return "16850";
    case 14:
        return "NS16550A";
    case 32:
        return "AMBA";
    default:
        return nullptr;
    }
}

} // namespace

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

std::string UnderRoot(const std::string& root, const std::string& path) {
    std::string base = root;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + path;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0')
                ++zi;
            while (zj + 1 < ej && b[zj] == '0')
                ++zj;
            const std::string_view na(a.data() + zi, ei - zi), nb(b.data() + zj, ej - zj);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            // Equal numbers: fewer leading zeros first, so the order stays strict.
            if (ei - i != ej - j) return ei - i < ej - j;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<TSysfsSerialDevice> ReadSysfsSerialDevices(const std::string& root) {
    const std::string classDir = UnderRoot(root, "/sys/class/tty");
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(classDir.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    // readdir order is the file system's hash order; the names give a stable one.
    std::sort(names.begin(), names.end(), NaturalLess);

    const std::string sysTop = RealPath(UnderRoot(root, "/sys"));
    std::vector<TSysfsSerialDevice> devices;
    for (const auto& name : names) {
        const std::string entry = classDir + "/" + name;
        // Virtual consoles, ptmx and the like have no parent device.
        const std::string deviceDir = RealPath(entry + "/device");
        if (deviceDir.empty()) continue;
        TSysfsSerialDevice d;
        d.Name = name;
        d.Driver = LinkName(deviceDir + "/driver");
        if (d.Driver.empty()) continue;
        // The 8250 driver keeps a node for every legacy port; a type of 0 means nothing
        // answered at that address.
        std::string type;
        if (ReadAttribute(entry + "/type", type) && ParseInt(type, d.UartType) && d.UartType == 0)
            continue;
        std::string devName = UeventValue(Attribute(entry + "/uevent"), "DEVNAME");
        if (devName.empty()) devName = name;
        // sysfs inside a container shows the host's devices; only those with a node here
        // can be opened.
        if (!Exists(UnderRoot(root, "/dev/" + devName))) continue;
        d.DevicePath = "/dev/" + devName;
        d.Bus = LinkName(deviceDir + "/subsystem");
        if (!sysTop.empty()) ReadUsbAttributes(deviceDir, sysTop, d);
        d.FriendlyName = SerialFriendlyName(d);
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string SerialFriendlyName(const TSysfsSerialDevice& d) {
    std::string head, details;
    if (!d.VendorId.empty()) {
        if (!d.Product.empty())
            head = d.Product;
        else if (!d.Interface.empty())
            head = d.Interface;
        else
            head = "USB serial device " + d.VendorId + ":" + d.ProductId;
        details = d.Manufacturer;
        if (!d.Serial.empty()) details += (details.empty() ? "" : ", ") + d.Serial;
    } else if (const char* uart = UartName(d.UartType)) {
        head = std::string(uart) + " serial port";
    } else {
        head = "Serial port";
    }
    std::string node = d.DevicePath.rfind("/dev/", 0) == 0 ? d.DevicePath.substr(5) : d.DevicePath;
    if (node.empty()) node = d.Name;
    return head + (details.empty() ? "" : " (" + details + ")") + " (" + node + ")";
}

} // namespace qwin
