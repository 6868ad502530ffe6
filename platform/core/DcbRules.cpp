#include "platform/core/DcbRules.h"

namespace qwin::detail {

bool ValidDcb(const DCB& d) {
    const bool byteSizeOk = (d.ByteSize >= 5 && d.ByteSize <= 8) || d.ByteSize == 16;
    if (d.BaudRate == 0 || !byteSizeOk || d.Parity > SPACEPARITY || d.StopBits > TWOSTOPBITS)
        return false;
    if (d.ByteSize == 5 && d.StopBits == TWOSTOPBITS) return false;
    if (d.ByteSize != 5 && d.StopBits == ONE5STOPBITS) return false;
    if (d.fDtrControl > DTR_CONTROL_HANDSHAKE) return false;
    if ((d.fOutX || d.fInX) && d.XonChar == d.XoffChar) return false;
    return true;
}

COMMPROP UartProperties(DWORD inQueue, DWORD outQueue) {
    constexpr DWORD SP_SERIALCOMM = 1;
    COMMPROP prop{};
    prop.wPacketLength = sizeof(COMMPROP);
    prop.wPacketVersion = 2;
    prop.dwServiceMask = SP_SERIALCOMM;
    prop.dwMaxBaud = BAUD_USER; // a 32-bit rate of any value
    prop.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                          BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 |
                          BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K |
                          BAUD_115200 | BAUD_57600 | BAUD_USER;
    prop.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
    // 1.5 stop bits exist with 5 data bits only (ValidDcb).
    prop.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                               PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
    prop.dwCurrentTxQueue = outQueue;
    prop.dwCurrentRxQueue = inQueue;
    return prop;
}

} // namespace qwin::detail
