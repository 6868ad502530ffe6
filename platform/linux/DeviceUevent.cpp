#include "platform/linux/DeviceUevent.h"

#include "platform/DeviceNotify.h"

#include <string_view>

namespace qwin {

std::optional<TUevent> ParseUevent(const char* data, size_t size) {
    const std::string_view all(data, size);
    const size_t headerEnd = all.find('\0');
    const std::string_view header = all.substr(0, headerEnd);
    const size_t at = header.find('@');
    // udev's messages start with "libudev"; only the kernel's have ACTION@DEVPATH.
    if (at == std::string_view::npos || at == 0 || header.size() == at + 1 || header[at + 1] != '/')
        return std::nullopt;

    TUevent event;
    size_t pos = headerEnd == std::string_view::npos ? all.size() : headerEnd + 1;
    while (pos < all.size()) {
        size_t end = all.find('\0', pos);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view field = all.substr(pos, end - pos);
        const size_t eq = field.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "ACTION")
                event.Action = value;
            else if (key == "DEVPATH")
                event.DevPath = value;
            else if (key == "SUBSYSTEM")
                event.Subsystem = value;
            else if (key == "DEVTYPE")
                event.DevType = value;
            else if (key == "DEVNAME")
                event.DevName = value;
        }
        pos = end + 1;
    }
    if (event.Action.empty()) event.Action = header.substr(0, at);
    if (event.DevPath.empty()) event.DevPath = header.substr(at + 1);
    return event;
}

std::optional<TDeviceChange> DeviceChangeFromUevent(const TUevent& event) {
    bool arrival;
    if (event.Action == "add")
        arrival = true;
    else if (event.Action == "remove")
        arrival = false;
    else
        return std::nullopt;

    if (event.Subsystem == "tty" && !event.DevName.empty())
        return TDeviceChange{arrival, DBT_DEVTYP_PORT, "/dev/" + event.DevName};
    if (event.Subsystem == "usb" && event.DevType == "usb_device") {
        const std::string name =
            event.DevName.empty() ? "/sys" + event.DevPath : "/dev/" + event.DevName;
        return TDeviceChange{arrival, DBT_DEVTYP_DEVICEINTERFACE, name};
    }
    return std::nullopt;
}

} // namespace qwin
