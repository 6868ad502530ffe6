#pragma once
// The machine's serial ports and device names, the Linux stand-ins for the system's
// device-name table and serial device map: serial devices that sysfs shows with hardware
// behind them, then the virtual ports programs have registered (PortRegistry.h).
#include "platform/WinApi.h"

#include <cerrno>
#include <string>
#include <vector>

namespace qwin {

/// The directory that holds the sys/ and dev/ trees read here; "/" unless a test or a
/// tool inspecting a recorded tree sets another.
void SetSystemRoot(const std::string& root);
/// The directory set by SetSystemRoot.
std::string SystemRoot();

/// Where a serial port comes from.
enum class TPortSource { Sysfs, Registered };

/// A serial port of the machine.
struct TSerialPort {
    TPortSource Source;             ///< found in sysfs or in the port registry
    std::string DevicePath;         ///< what CreateFile opens: /dev/ttyUSB0, /dev/pts/3
    std::string FriendlyName;       ///< "FT232R USB UART (FTDI, A50285BI) (ttyUSB0)"
    std::string Enumerator;         ///< device tree levels: USB, PNP, ROOT...
    std::string DeviceId;           ///< VID_0403&PID_6001&MI_00, the driver, PORTS
    std::string InstanceId;         ///< ttyUSB0, 0000
    std::string ParentDeviceId;     ///< USB ports: the USB device itself (VID_0403&PID_6001)
    std::string ParentInstanceId;   ///< its serial number, else its sysfs name
    std::string ParentFriendlyName; ///< its product name
};

/// The serial ports under root: sysfs devices in name order, then registered virtual ports
/// in registration order. Never throws for a missing source.
std::vector<TSerialPort> ListSerialPorts(const std::string& root);

/// The device-name table: every non-directory entry of root's /dev in name order as a path
/// (/dev/null, /dev/ttyS0), then the registered virtual ports' paths.
std::vector<std::string> ListDeviceNames(const std::string& root);

/// With no deviceName: the device-name table, each name NUL-ended, one more NUL after the
/// last; returns the characters stored. With a device path: the path it resolves to, links
/// followed, NUL-ended twice. 0 on failure: ERROR_INSUFFICIENT_BUFFER when the result does
/// not fit in ucchMax characters, ERROR_FILE_NOT_FOUND for a name that does not exist.
DWORD QueryDosDevice(const char16_t* deviceName, char16_t* targetPath, DWORD ucchMax);

} // namespace qwin
