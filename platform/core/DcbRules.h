#pragma once
// What a UART refuses of a DCB, shared by the devices that check it themselves.
#include "platform/WinApi.h"

namespace qwin::detail {

/// False for a rate of 0, a byte size, parity, stop bits or DTR mode that names nothing,
/// the combinations the Windows driver rejects, and equal XON and XOFF characters in use.
bool ValidDcb(const DCB& d);

/// What a UART-class port can be set to, as its COMMPROP record reports it.
inline constexpr DWORD UartSettableBauds =
    BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 | BAUD_1800 |
    BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 | BAUD_19200 | BAUD_38400 |
    BAUD_56K | BAUD_128K | BAUD_115200 | BAUD_57600 | BAUD_USER;
inline constexpr WORD UartSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
inline constexpr WORD UartSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 |
                                               PARITY_NONE | PARITY_ODD | PARITY_EVEN |
                                               PARITY_MARK | PARITY_SPACE;

} // namespace qwin::detail
