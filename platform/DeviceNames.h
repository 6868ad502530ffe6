#pragma once
// How device names are read, shared by CreateFile and the default-configuration store.
#include "platform/Device.h"

#include <memory>
#include <string>

namespace qwin::detail {

/// UTF-8 name without a leading \\.\ ; a bare name (no '/', no registered name-space
/// prefix) is taken relative to /dev. An empty name stays empty.
std::string NormaliseDeviceName(const string& name);

/// The opener of the name space a normalised name belongs to, or an empty opener.
Opener NamespaceOpener(const std::string& normalised);

/// The key an open device is entered under: a path's real path where it resolves (so a
/// symlink and its target meet), a name-space name as it is.
std::string DeviceKey(const std::string& normalised);

/// Opens a device of the operating system by path; nullptr with the last error set
/// when it cannot (the POSIX backend on Linux).
std::shared_ptr<Device> OpenSystemDevice(const std::string& path);

} // namespace qwin::detail
