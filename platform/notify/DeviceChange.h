#pragma once
// One device arrival or removal, as every system's watch reports it.
#include "platform/WinApi.h"

#include <string>

namespace qwin {

/// A device arrival or removal to report.
struct TDeviceChange {
    bool Arrival;     ///< else removal
    DWORD DeviceType; ///< DBT_DEVTYP_PORT or DBT_DEVTYP_DEVICEINTERFACE
    std::string Name; ///< the device path
};

} // namespace qwin
