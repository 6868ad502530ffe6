#pragma once
// What a UART refuses of a DCB and what it says it can do, shared by the devices that
// answer for it themselves (the tty, the network port, the virtual ends).
#include "platform/WinApi.h"

namespace qwin::detail {

/// False for a rate of 0, a byte size, parity, stop bits or DTR mode that names nothing,
/// the combinations the Windows driver rejects, and equal XON and XOFF characters in use.
bool ValidDcb(const DCB& d);

/// The COMMPROP record of a UART-class port with queues of the given sizes: serial
/// service, no queue limits, any rate, the usual rates, 5 to 8 data bits, every stop bits
/// and parity. Sub-type, capabilities and settable parameters are the device's own.
COMMPROP UartProperties(DWORD inQueue, DWORD outQueue);

} // namespace qwin::detail
