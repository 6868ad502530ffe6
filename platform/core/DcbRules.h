#pragma once
// What a UART refuses of a DCB, shared by the devices that check it themselves.
#include "platform/WinApi.h"

namespace qwin::detail {

/// False for a rate of 0, a byte size, parity, stop bits or DTR mode that names nothing,
/// the combinations the Windows driver rejects, and equal XON and XOFF characters in use.
bool ValidDcb(const DCB& d);

} // namespace qwin::detail
