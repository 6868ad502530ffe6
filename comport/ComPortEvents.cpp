// Line events: the device event mask follows the assigned handlers, the event thread
// lives while the mask is not empty, and each completed wait is dispatched in table order.
#include "comport/ComThread.h"
#include "rtl/MainLoop.h"

namespace quillon {

namespace {
using namespace qwin;

// Hands a handler's exception to the application's display, which belongs to the main
// thread. From the event thread the posted task takes the only reference, so the
// exception is also freed on the main thread, after it was shown.
void ShowOnMainThread(std::exception_ptr error) {
    if (rtl::MainLoop().IsMainThread()) {
        rtl::Application().HandleException(error);
        return;
    }
    rtl::MainLoop().Post([error = std::move(error)]() mutable {
        rtl::Application().HandleException(std::move(error));
    });
}
} // namespace

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
    // Stop before clearing and start after setting, so a thread never waits on an empty mask.
    if (mask == 0) StopThread();
    CheckResult(SetCommMask(FHandle, mask));
    if (mask != 0) StartThread();
}

void TCustomComPort::StartThread() {
    if (FComThread) return;
    if (!FLink) FLink = TComPortLink::Create();
    try {
        new TComThread(this); // frees itself when it ends
    } catch (...) {
        FComThread = nullptr;
        RaiseError(0, SCreateThread);
    }
}

void TCustomComPort::StopThread() {
    if (!FComThread) return;
    // Under WaitMu the thread is either before its terminated test or its wait is pending,
    // so the mask change below wakes it and it starts no other wait.
    std::lock_guard lock(FLink->WaitMu);
    FComThread->Terminate();
    if (FHandle != INVALID_HANDLE_VALUE) SetCommMask(FHandle, 0);
    FComThread = nullptr;
}

void TCustomComPort::DispatchEvents() {
    if (!Active()) return;
    const std::shared_ptr<TComPortLink> link = FLink->Shared(); // may outlive the port
    DispatchEventTable(*link);
}

void TCustomComPort::DispatchEventTable(TComPortLink& Link) {
    struct Row {
        DWORD Flag;
        const char16_t* LogLine;
        TNotifyEvent TCustomComPort::*Handler; // none: the line-error row
    };
    static const Row rows[] = {
        {EV_BREAK, u"Break event", &TCustomComPort::FOnBreak},
        {EV_CTS, u"CTSChange event", &TCustomComPort::FOnCTSChange},
        {EV_DSR, u"DSRChange event", &TCustomComPort::FOnDSRChange},
        {EV_ERR, u"LineError event", nullptr},
        {EV_EVENT1, u"Event1 event", &TCustomComPort::FOnEvent1},
        {EV_EVENT2, u"Event2 event", &TCustomComPort::FOnEvent2},
        {EV_PERR, u"PrinterError event", &TCustomComPort::FOnPrinterError},
        {EV_RING, u"Ring event", &TCustomComPort::FOnRing},
        {EV_RLSD, u"RLSDChange event", &TCustomComPort::FOnRLSDChange},
        {EV_RX80FULL, u"Rx80PercFull event", &TCustomComPort::FOnRx80PercFull},
        {EV_RXCHAR, u"RxChar event", &TCustomComPort::FOnRxChar},
        {EV_RXFLAG, u"RxFlag event", &TCustomComPort::FOnRxFlag},
        {EV_TXEMPTY, u"TxEmpty event", &TCustomComPort::FOnTxEmpty},
    };
    const DWORD mask = FEventMask;
    std::exception_ptr error;
    try {
        for (const Row& row : rows) {
            if (!(mask & row.Flag)) continue;
            if (LogEnabled()) Log(row.LogLine);
            if (row.Handler) {
                const TNotifyEvent handler = this->*row.Handler;
                if (handler) handler(this);
            } else if (FOnLineError) {
                CheckLineErrors();
            }
            if (!Link.PortAlive()) return; // a handler destroyed the port: touch nothing
        }
    } catch (...) {
        error = std::current_exception();
    }
    if (error) ShowOnMainThread(std::move(error)); // outside the handler: no other reference
}

void TCustomComPort::RaiseThreadError() {
    RaiseError(static_cast<int32_t>(FThreadError), SysErrorMessage(FThreadError));
}

void TCustomComPort::SetSynchronizeEvents(bool value) {
    if (value == FSynchronizeEvents) return;
    CheckClosed();
    FSynchronizeEvents = value;
}

void TCustomComPort::SetThreadPriority(TThreadPriority value) {
    if (value == FThreadPriority) return;
    FThreadPriority = value;
    if (FComThread) FComThread->SetPriority(value);
}

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
