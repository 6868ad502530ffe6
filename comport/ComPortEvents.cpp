// First step: the event mask follows the assigned handlers; the event thread comes next.
#include "comport/ComPort.h"

namespace quillon {

namespace {
using namespace qwin;
}

void TCustomComPort::ApplyEventMask() {
    if (!Active() || IsDesigning()) return;
    DWORD mask = 0;
    if (FOnBreak.Assigned()) mask |= EV_BREAK;
    if (FOnCTSChange.Assigned()) mask |= EV_CTS;
    if (FOnDSRChange.Assigned()) mask |= EV_DSR;
    if (FOnLineError.Assigned()) mask |= EV_ERR;
    if (FOnEvent1.Assigned()) mask |= EV_EVENT1;
    if (FOnEvent2.Assigned()) mask |= EV_EVENT2;
    if (FOnPrinterError.Assigned()) mask |= EV_PERR;
    if (FOnRing.Assigned()) mask |= EV_RING;
    if (FOnRLSDChange.Assigned()) mask |= EV_RLSD;
    if (FOnRx80PercFull.Assigned()) mask |= EV_RX80FULL;
    if (FOnRxChar.Assigned()) mask |= EV_RXCHAR;
    if (FOnRxFlag.Assigned()) mask |= EV_RXFLAG;
    if (FOnTxEmpty.Assigned()) mask |= EV_TXEMPTY;
    if (mask == 0) StopThread();
    CheckResult(SetCommMask(FHandle, mask));
    if (mask != 0) StartThread();
}

void TCustomComPort::StartThread() {}
void TCustomComPort::StopThread() {}

void TCustomComPort::SetSynchronizeEvents(bool value) {
    if (value == FSynchronizeEvents) return;
    CheckClosed();
    FSynchronizeEvents = value;
}

void TCustomComPort::SetThreadPriority(TThreadPriority value) { FThreadPriority = value; }

#define QUILLON_EVENT_SETTER(Name, Field, Type)                                                    \
    void TCustomComPort::Set##Name(Type h) {                                                       \
        if (h == Field) return;                                                                    \
        Field = h;                                                                                 \
        ApplyEventMask();                                                                          \
    }
QUILLON_EVENT_SETTER(OnBreak, FOnBreak, TNotifyEvent)
QUILLON_EVENT_SETTER(OnCTSChange, FOnCTSChange, TNotifyEvent)
QUILLON_EVENT_SETTER(OnDSRChange, FOnDSRChange, TNotifyEvent)
QUILLON_EVENT_SETTER(OnEvent1, FOnEvent1, TNotifyEvent)
QUILLON_EVENT_SETTER(OnEvent2, FOnEvent2, TNotifyEvent)
QUILLON_EVENT_SETTER(OnLineError, FOnLineError, TLineErrorEvent)
QUILLON_EVENT_SETTER(OnPrinterError, FOnPrinterError, TNotifyEvent)
QUILLON_EVENT_SETTER(OnRing, FOnRing, TNotifyEvent)
QUILLON_EVENT_SETTER(OnRLSDChange, FOnRLSDChange, TNotifyEvent)
QUILLON_EVENT_SETTER(OnRx80PercFull, FOnRx80PercFull, TNotifyEvent)
QUILLON_EVENT_SETTER(OnRxChar, FOnRxChar, TNotifyEvent)
QUILLON_EVENT_SETTER(OnRxFlag, FOnRxFlag, TNotifyEvent)
QUILLON_EVENT_SETTER(OnTxEmpty, FOnTxEmpty, TNotifyEvent)
#undef QUILLON_EVENT_SETTER

} // namespace quillon
