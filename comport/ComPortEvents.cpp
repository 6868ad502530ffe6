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
    if (rtl::MainLoop().IsMainThread() || !rtl::MainLoop().IsBound()) {
        rtl::Application().HandleException(error);
        return;
    }
    rtl::MainLoop().Post([error = std::move(error)]() mutable {
        rtl::Application().HandleException(std::move(error));
    });
}

// Whether the row's handler is assigned; the line-error row has a handler type of its own.
bool HandlerAssigned(const TCustomComPort& port, const TLineEvent& row) {
    return row.Handler ? (port.*row.Handler)().Assigned() : port.OnLineError().Assigned();
}
} // namespace

using P = TCustomComPort;
const std::array<TLineEvent, 13> LineEvents = {{
    {EV_BREAK, &P::OnBreak, &P::SetOnBreak, u"Break event"},
    {EV_CTS, &P::OnCTSChange, &P::SetOnCTSChange, u"CTSChange event"},
    {EV_DSR, &P::OnDSRChange, &P::SetOnDSRChange, u"DSRChange event"},
    {EV_ERR, nullptr, nullptr, u"LineError event"},
    {EV_EVENT1, &P::OnEvent1, &P::SetOnEvent1, u"Event1 event"},
    {EV_EVENT2, &P::OnEvent2, &P::SetOnEvent2, u"Event2 event"},
    {EV_PERR, &P::OnPrinterError, &P::SetOnPrinterError, u"PrinterError event"},
    {EV_RING, &P::OnRing, &P::SetOnRing, u"Ring event"},
    {EV_RLSD, &P::OnRLSDChange, &P::SetOnRLSDChange, u"RLSDChange event"},
    {EV_RX80FULL, &P::OnRx80PercFull, &P::SetOnRx80PercFull, u"Rx80PercFull event"},
    {EV_RXCHAR, &P::OnRxChar, &P::SetOnRxChar, u"RxChar event"},
    {EV_RXFLAG, &P::OnRxFlag, &P::SetOnRxFlag, u"RxFlag event"},
    {EV_TXEMPTY, &P::OnTxEmpty, &P::SetOnTxEmpty, u"TxEmpty event"},
}};

void TCustomComPort::ApplyEventMask() {
    if (!Active() || IsDesigning()) return;
    DWORD mask = 0;
    for (const TLineEvent& row : LineEvents)
        if (HandlerAssigned(*this, row)) mask |= row.Flag;
    // Stop before clearing and start after setting, so a thread never waits on an empty mask.
    if (mask == 0) StopThread();
    CheckResult(SetCommMask(FHandle, mask));
    if (mask != 0) StartThread();
}

void TCustomComPort::StartThread() {
    if (FLink && FLink->Thread()) return;
    if (!FLink) FLink = std::make_shared<TComPortLink>();
    try {
        new TComThread(this); // the link names it at once; it frees itself when it ends
    } catch (...) {
        RaiseError(0, SCreateThread);
    }
}

void TCustomComPort::StopThread() {
    TComThread* thread = FLink ? FLink->Thread() : nullptr;
    if (!thread) return;
    // Under WaitMu the thread is either before its terminated test or its wait is pending,
    // so the mask change below wakes it and it starts no other wait. Once released it may
    // end at any time: it is not touched again.
    std::lock_guard lock(FLink->WaitMu);
    FLink->Release(thread);
    if (FHandle != INVALID_HANDLE_VALUE) SetCommMask(FHandle, 0);
}

void TCustomComPort::DispatchEvents() {
    if (!Active()) return;
    const std::shared_ptr<TComPortLink> link = FLink; // a handler may destroy the port
    DispatchEventTable(*link);
}

void TCustomComPort::DispatchEventTable(TComPortLink& Link) {
    const DWORD mask = FEventMask;
    std::exception_ptr error;
    try {
        for (const TLineEvent& row : LineEvents) {
            if (!(mask & row.Flag)) continue;
            if (LogEnabled()) Log(row.LogText);
            if (row.Handler) {
                const TNotifyEvent handler = (this->*row.Handler)();
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
    if (TComThread* thread = FLink ? FLink->Thread() : nullptr) thread->SetPriority(value);
}

template <class E> void TCustomComPort::SetLineHandler(E& Field, E Value) {
    if (Value == Field) return;
    Field = Value;
    ApplyEventMask();
}

void TCustomComPort::SetOnBreak(TNotifyEvent h) {
    SetLineHandler(FOnBreak, h);
}
void TCustomComPort::SetOnCTSChange(TNotifyEvent h) {
    SetLineHandler(FOnCTSChange, h);
}
void TCustomComPort::SetOnDSRChange(TNotifyEvent h) {
    SetLineHandler(FOnDSRChange, h);
}
void TCustomComPort::SetOnEvent1(TNotifyEvent h) {
    SetLineHandler(FOnEvent1, h);
}
void TCustomComPort::SetOnEvent2(TNotifyEvent h) {
    SetLineHandler(FOnEvent2, h);
}
void TCustomComPort::SetOnLineError(TLineErrorEvent h) {
    SetLineHandler(FOnLineError, h);
}
void TCustomComPort::SetOnPrinterError(TNotifyEvent h) {
    SetLineHandler(FOnPrinterError, h);
}
void TCustomComPort::SetOnRing(TNotifyEvent h) {
    SetLineHandler(FOnRing, h);
}
void TCustomComPort::SetOnRLSDChange(TNotifyEvent h) {
    SetLineHandler(FOnRLSDChange, h);
}
void TCustomComPort::SetOnRx80PercFull(TNotifyEvent h) {
    SetLineHandler(FOnRx80PercFull, h);
}
void TCustomComPort::SetOnRxChar(TNotifyEvent h) {
    SetLineHandler(FOnRxChar, h);
}
void TCustomComPort::SetOnRxFlag(TNotifyEvent h) {
    SetLineHandler(FOnRxFlag, h);
}
void TCustomComPort::SetOnTxEmpty(TNotifyEvent h) {
    SetLineHandler(FOnTxEmpty, h);
}

} // namespace quillon
