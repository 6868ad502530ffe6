#pragma once
// A port whose protected steps a test may call directly, and what its defaults make of the
// device's record.
#include "comport/ComPort.h"

#include <gtest/gtest.h>

namespace quillon::test {

class TProbePort : public TComPort {
  public:
    using TComPort::TComPort;
    using TCustomComPort::DCBToSettings;
    using TCustomComPort::SettingsToDCB;
};

/// All-default settings over a record of 4800 7E2, DTR handshake, RTS toggle and XOFF input:
/// those stay, and the rest is forced to the port's own values.
inline void ExpectDefaultsOverRecord(const qwin::DCB& dcb) {
    using namespace qwin;
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_TOGGLE);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 1u);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    EXPECT_EQ(dcb.XonLim, 0);
    EXPECT_EQ(dcb.XoffLim, 0);
    EXPECT_EQ(dcb.fParity + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fDsrSensitivity +
                  dcb.fTXContinueOnXoff + dcb.fErrorChar + dcb.fNull + dcb.fAbortOnError,
              0u);
    EXPECT_EQ(dcb.fBinary, 1u);
}

} // namespace quillon::test
