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

/// A record as a driver might hold it: nothing at zero, so every overwrite shows.
inline qwin::DCB DeviceRecord() {
    using namespace qwin;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 4800;
    dcb.fBinary = 0;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 1;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    dcb.fDummy2 = 0x1ABCD;
    dcb.wReserved = 0x1234;
    dcb.XonLim = 10;
    dcb.XoffLim = 20;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 1;
    dcb.XoffChar = 2;
    dcb.ErrorChar = 3;
    dcb.EofChar = 4;
    dcb.EvtChar = 5;
    dcb.wReserved1 = 0x5678;
    return dcb;
}

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
