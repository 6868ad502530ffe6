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

} // namespace qwin::detail
