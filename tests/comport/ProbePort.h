#pragma once
// A port whose protected steps a test may call directly.
#include "comport/ComPort.h"

namespace quillon::test {

class TProbePort : public TComPort {
  public:
    using TComPort::TComPort;
    using TCustomComPort::DCBToSettings;
    using TCustomComPort::SettingsToDCB;
};

} // namespace quillon::test
