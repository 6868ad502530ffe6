// The driver's line-error and modem-status flags as the component's sets.
#include "comport/ComPort.h"

namespace quillon {

namespace {
using namespace qwin;

struct LineErrorFlag {
    TLineError error;
    DWORD flag;
};

constexpr LineErrorFlag kLineErrorFlags[] = {
    {leBreak, CE_BREAK},       {leDeviceNotSelected, CE_DNS},
    {leFrame, CE_FRAME},       {leIO, CE_IOE},
    {leMode, CE_MODE},         {leOutOfPaper, CE_OOP},
    {leOverrun, CE_OVERRUN},   {leDeviceTimeOut, CE_PTO},
    {leRxOverflow, CE_RXOVER}, {leParity, CE_RXPARITY},
    {leTxFull, CE_TXFULL},
};

struct ModemStatusFlag {
    TModemStatusValue value;
    DWORD flag;
};

constexpr ModemStatusFlag kModemStatusFlags[] = {
    {msCTS, MS_CTS_ON}, {msDSR, MS_DSR_ON}, {msRing, MS_RING_ON}, {msRLSD, MS_RLSD_ON}};
} // namespace

TLineErrors LineErrorsFromFlags(DWORD flags) {
    TLineErrors errors;
    for (const auto& row : kLineErrorFlags)
        if (flags & row.flag) errors.Include(row.error);
    return errors;
}

TModemStatus ModemStatusFromFlags(DWORD flags) {
    TModemStatus status;
    for (const auto& row : kModemStatusFlags)
        if (flags & row.flag) status.Include(row.value);
    return status;
}

} // namespace quillon
