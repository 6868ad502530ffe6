#pragma once
// How device names are read, shared by CreateFile and the default-configuration store.
#include "platform/core/Device.h"

#include <memory>
#include <string>

namespace qwin::detail {

/// UTF-8 name without a leading \\.\ ; a bare name (no path separator, no registered
/// name-space prefix) is a device of the system (SystemDevicePath). An empty name stays empty.
std::string NormaliseDeviceName(const string& name);

/// The opener of the name space a normalised name belongs to, or an empty opener.
Opener NamespaceOpener(const std::string& normalised);

/// The key an open device is entered under: a path's real path where it resolves (so a
/// symlink and its target meet), a name-space name as it is.
std::string DeviceKey(const std::string& normalised);

// Per operating system (SystemNames*.cpp, chosen in CMake):

/// Where a bare device name lives: /dev/NAME on Linux, \\.\NAME on Windows.
std::string SystemDevicePath(const std::string& bare);
/// Whether a name is already a path of the system.
bool IsSystemPath(const std::string& name);
/// The key of a system device: its real path where it resolves, else the path.
std::string SystemDeviceKey(const std::string& path);
/// 0 when a closed device of the system may have a default configuration, else the code to
/// fail with; where the system keeps defaults of its own, seed receives the device's.
DWORD CheckClosedDevice(const std::string& path, DCB& seed);
/// The system's configuration dialog, for when the application installed none.
bool SystemConfigDialog(const string& name, HWND owner, COMMCONFIG& cc);

/// Opens a device of the operating system by path; nullptr with the last error set
/// when it cannot (the POSIX backend on Linux, win32/ on Windows).
std::shared_ptr<Device> OpenSystemDevice(const std::string& path);

} // namespace qwin::detail
