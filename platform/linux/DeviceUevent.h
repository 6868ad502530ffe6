#pragma once
// Kernel uevents, and what each means for device notifications.
#include "platform/notify/DeviceChange.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qwin {

/// The fields of one kernel uevent that notifications look at.
struct TUevent {
    std::string Action;    ///< add, remove, change, bind...
    std::string DevPath;   ///< /devices/pci0000:00/.../ttyUSB0/tty/ttyUSB0
    std::string Subsystem; ///< tty, usb
    std::string DevType;   ///< usb_device, usb_interface
    std::string DevName;   ///< ttyUSB0, bus/usb/001/005
};

/// Parses one datagram of the kernel's uevent socket ("ACTION@DEVPATH" then NUL-separated
/// KEY=VALUE fields); nullopt for anything else, such as udev's own re-broadcasts.
std::optional<TUevent> ParseUevent(const char* data, size_t size);

/// tty devices are ports (/dev/ttyUSB0); USB devices are interfaces named by their node
/// (/dev/bus/usb/001/005, else their sysfs path). Other events report nothing.
std::optional<TDeviceChange> DeviceChangeFromUevent(const TUevent& event);

} // namespace qwin
