// The indicator: binding to a port, its hooks and its timer.
#include "comsignal/ComSignal.h"

#include <exception>
#include <iterator>

namespace quillon {

namespace {

/// The line event a signal shows through a notify handler, or none (siNone, siTxChar and
/// siLineError, whose handler has a type of its own).
const TLineEvent* LineEventOf(TSignal Signal) {
    using namespace qwin;
    static constexpr DWORD kFlag[] = {0,       EV_BREAK,  EV_RXCHAR,   0,         EV_CTS,
                                      EV_DSR,  EV_EVENT1, EV_EVENT2,   EV_ERR,    EV_PERR,
                                      EV_RING, EV_RLSD,   EV_RX80FULL, EV_RXFLAG, EV_TXEMPTY};
    static_assert(std::size(kFlag) == siTxEmpty + 1);
    for (const TLineEvent& e : LineEvents)
        if (kFlag[Signal] && e.Flag == kFlag[Signal] && e.Handler) return &e;
    return nullptr;
}

/// Modem-line signals follow the line; the others light for Delay after each event.
bool FollowsLine(TSignal Signal) {
    return Signal == siCTS || Signal == siDSR || Signal == siRing || Signal == siRLSD;
}

/// Runs step and keeps its exception, if it is the first, so that later steps still run.
template <class F> void Keep(std::exception_ptr& first, F step) {
    try {
        step();
    } catch (...) {
        if (!first) first = std::current_exception();
    }
}

} // namespace

template <auto Hook, class E>
void TComSignal::Link(E (TCustomComPort::*Get)() const, void (TCustomComPort::*Set)(E),
                      E TComSignal::*Saved) {
    this->*Saved = (FComPort->*Get)();
    (FComPort->*Set)(E::template Of<Hook>(this));
}

template <auto Hook, class E>
void TComSignal::Unlink(E (TCustomComPort::*Get)() const, void (TCustomComPort::*Set)(E),
                        E TComSignal::*Saved) {
    const E mine = E::template Of<Hook>(this);
    E handler = (FComPort->*Get)();
    if (handler == mine) {
        (FComPort->*Set)(this->*Saved);
        return;
    }
    // Unbound out of order: an indicator bound later holds our hook as the handler it
    // replaced, so it takes over the one we replaced and nobody calls into us any more.
    while (handler.Assigned()) {
        auto* later = static_cast<TComSignal*>(handler.Data());
        if (!(handler == E::template Of<Hook>(later))) return; // not one of ours: chain ends
        if (later->*Saved == mine) {
            later->*Saved = this->*Saved;
            return;
        }
        handler = later->*Saved;
    }
}

TComSignal::TComSignal(TComponent* AOwner) : TComponent(AOwner) {
    // Left enabled: its first tick switches the (already off) indicator off and stops it.
    FTimer = new rtl::TTimer(this);
    FTimer->SetInterval(FDelay);
    FTimer->SetOnTimer(TNotifyEvent::Of<&TComSignal::DoTimer>(this));
}

TComSignal::~TComSignal() {
    BeforeDestruction();
    delete FTimer;
    FTimer = nullptr;
    try {
        UnbindPort();
    } catch (...) {
        // The port has offered its error to its own OnError; the hooks are gone regardless.
    }
}

string TComSignal::About() const {
    return u"TComSignal 1.0, Quillon serial components";
}

void TComSignal::SetColorOff(TColor Value) {
    if (Value == FColorOff) return;
    FColorOff = Value;
    UpdateColor();
}

void TComSignal::SetColorOn(TColor Value) {
    FColorOn = Value;
}

void TComSignal::SetComPort(TComPort* Value) {
    if (Value == FComPort) return;
    FTimer->SetEnabled(false);
    std::exception_ptr error;
    Keep(error, [this] { UnbindPort(); });
    if (FComPort) RemoveFreeNotification(FComPort);
    FComPort = Value;
    // A port of another owner tells us too when it goes.
    if (FComPort) FreeNotification(FComPort);
    Keep(error, [this] { BindPort(); });
    Keep(error, [this] { UpdateSignal(); });
    if (error) std::rethrow_exception(error);
}

void TComSignal::SetControl(TControl* Value) {
    if (Value == FControl) return;
    if (FControl) RemoveFreeNotification(FControl);
    FControl = Value;
    if (FControl) FreeNotification(FControl);
    UpdateColor();
}

void TComSignal::SetDelay(int32_t Value) {
    if (Value == FDelay) return;
    FDelay = Value;
    FTimer->SetInterval(Value);
}

void TComSignal::SetSignal(TSignal Value) {
    if (Value == FSignal) return;
    if (!FBound) {
        FSignal = Value;
        return;
    }
    // Bound: the hooks move to the new signal's events, AfterOpen/AfterClose stay in place.
    std::exception_ptr error;
    Keep(error, [this] { UnbindSignalEvents(); });
    FSignal = Value;
    FWriting = false;
    Keep(error, [this] { BindSignalEvents(); });
    Keep(error, [this] { UpdateSignal(); });
    if (error) std::rethrow_exception(error);
}

void TComSignal::Loaded() {
    TComponent::Loaded();
    BindPort();
    UpdateSignal();
    UpdateColor(); // paints the control even when the state did not change
}

void TComSignal::Notification(TComponent* AComponent, rtl::TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != rtl::opRemove || !AComponent) return;
    if (AComponent == FComPort) {
        try {
            SetComPort(nullptr);
        } catch (...) {
            // The departing port has reported its error; the indicator is unbound anyway.
        }
    } else if (AComponent == FControl) {
        SetControl(nullptr);
    }
}

void TComSignal::SetSignalValue(bool Value) {
    if (Value == FSignalValue) return;
    FSignalValue = Value;
    UpdateColor();
    if (FOnSignal) FOnSignal(this);
}

void TComSignal::UpdateColor() {
    if (FControl) FControl->SetColor(FSignalValue ? FColorOn : FColorOff);
}

void TComSignal::UpdateSignal() {
    bool value = false;
    if (FComPort && FComPort->Active()) {
        switch (FSignal) {
        case siCTS:
            value = FComPort->ModemStatus().Contains(msCTS);
            break;
        case siDSR:
            value = FComPort->ModemStatus().Contains(msDSR);
            break;
        case siRing:
            value = FComPort->ModemStatus().Contains(msRing);
            break;
        case siRLSD:
            value = FComPort->ModemStatus().Contains(msRLSD);
            break;
        default:
            break;
        }
    }
    SetSignalValue(value);
}

void TComSignal::RestartTimer() {
    FTimer->SetEnabled(false);
    FTimer->SetEnabled(true);
}

bool TComSignal::CanBind() const {
    return FComPort && !IsLoading() && !IsDesigning();
}

void TComSignal::BindPort() {
    if (FBound || !CanBind()) return;
    FBound = true; // before the setters: one that raises has already stored our hook
    Link<&TComSignal::DoAfterOpen>(&TCustomComPort::AfterOpen, &TCustomComPort::SetAfterOpen,
                                   &TComSignal::FAfterOpen);
    Link<&TComSignal::DoAfterClose>(&TCustomComPort::AfterClose, &TCustomComPort::SetAfterClose,
                                    &TComSignal::FAfterClose);
    BindSignalEvents();
}

void TComSignal::UnbindPort() {
    std::exception_ptr error;
    if (FBound && FComPort && !IsDesigning()) {
        FBound = false;
        Keep(error, [this] {
            Unlink<&TComSignal::DoAfterOpen>(
                &TCustomComPort::AfterOpen, &TCustomComPort::SetAfterOpen, &TComSignal::FAfterOpen);
        });
        Keep(error, [this] {
            Unlink<&TComSignal::DoAfterClose>(&TCustomComPort::AfterClose,
                                              &TCustomComPort::SetAfterClose,
                                              &TComSignal::FAfterClose);
        });
        Keep(error, [this] { UnbindSignalEvents(); });
    }
    FAfterClose = {};
    FAfterOpen = {};
    FAfterWrite = {};
    FBeforeWrite = {};
    FOnNotifySignal = {};
    FOnLineError = {};
    FOnModemSignal = {};
    if (error) std::rethrow_exception(error);
}

void TComSignal::BindSignalEvents() {
    const TLineEvent* event = LineEventOf(FSignal);
    if (event && !FollowsLine(FSignal)) {
        Link<&TComSignal::DoNotifySignal>(event->Handler, event->SetHandler,
                                          &TComSignal::FOnNotifySignal);
    } else if (event) {
        Link<&TComSignal::DoModemSignal>(event->Handler, event->SetHandler,
                                         &TComSignal::FOnModemSignal);
    } else if (FSignal == siLineError) {
        Link<&TComSignal::DoLineError>(&TCustomComPort::OnLineError,
                                       &TCustomComPort::SetOnLineError, &TComSignal::FOnLineError);
    } else if (FSignal == siTxChar) {
        Link<&TComSignal::DoBeforeWrite>(&TCustomComPort::BeforeWrite,
                                         &TCustomComPort::SetBeforeWrite,
                                         &TComSignal::FBeforeWrite);
        Link<&TComSignal::DoAfterWrite>(&TCustomComPort::AfterWrite, &TCustomComPort::SetAfterWrite,
                                        &TComSignal::FAfterWrite);
    }
}

void TComSignal::UnbindSignalEvents() {
    std::exception_ptr error;
    const TLineEvent* event = LineEventOf(FSignal);
    if (event && !FollowsLine(FSignal)) {
        Keep(error, [&] {
            Unlink<&TComSignal::DoNotifySignal>(event->Handler, event->SetHandler,
                                                &TComSignal::FOnNotifySignal);
        });
        FOnNotifySignal = {};
    } else if (event) {
        Keep(error, [&] {
            Unlink<&TComSignal::DoModemSignal>(event->Handler, event->SetHandler,
                                               &TComSignal::FOnModemSignal);
        });
        FOnModemSignal = {};
    } else if (FSignal == siLineError) {
        Keep(error, [&] {
            Unlink<&TComSignal::DoLineError>(&TCustomComPort::OnLineError,
                                             &TCustomComPort::SetOnLineError,
                                             &TComSignal::FOnLineError);
        });
        FOnLineError = {};
    } else if (FSignal == siTxChar) {
        Unlink<&TComSignal::DoBeforeWrite>(&TCustomComPort::BeforeWrite,
                                           &TCustomComPort::SetBeforeWrite,
                                           &TComSignal::FBeforeWrite);
        Unlink<&TComSignal::DoAfterWrite>(&TCustomComPort::AfterWrite,
                                          &TCustomComPort::SetAfterWrite, &TComSignal::FAfterWrite);
        FBeforeWrite = {};
        FAfterWrite = {};
    }
    if (error) std::rethrow_exception(error);
}

void TComSignal::DoNotifySignal(TObject*) {
    SetSignalValue(true);
    RestartTimer();
    if (FOnNotifySignal) FOnNotifySignal(FComPort);
}

void TComSignal::DoLineError(TObject*, TLineErrors LineErrors) {
    SetSignalValue(true);
    RestartTimer();
    if (FOnLineError) FOnLineError(FComPort, LineErrors);
}

void TComSignal::DoModemSignal(TObject*) {
    // A ring is reported once the indicator has gone off again, so the line's state would
    // never light the lamp: a ring lights it for Delay, like an event.
    if (FSignal == siRing) {
        SetSignalValue(true);
        RestartTimer();
    } else {
        UpdateSignal();
    }
    if (FOnModemSignal) FOnModemSignal(FComPort);
}

void TComSignal::DoBeforeWrite(TObject* Sender, const void* Buffer, int32_t Length,
                               bool WaitOnCompletion) {
    SetSignalValue(true);
    FWriting = true;
    RestartTimer();
    if (FBeforeWrite) FBeforeWrite(Sender, Buffer, Length, WaitOnCompletion);
}

void TComSignal::DoAfterWrite(TObject* Sender, const void* Buffer, int32_t Length,
                              bool WaitOnCompletion) {
    FWriting = false;
    if (FAfterWrite) FAfterWrite(Sender, Buffer, Length, WaitOnCompletion);
}

void TComSignal::DoAfterOpen(TCustomComPort* ComPort) {
    FWriting = false; // a write that raised after BeforeWrite must not keep it lit
    UpdateSignal();
    if (FAfterOpen) FAfterOpen(ComPort);
}

void TComSignal::DoAfterClose(TCustomComPort* ComPort) {
    FWriting = false;
    UpdateSignal();
    if (FAfterClose) FAfterClose(ComPort);
}

void TComSignal::DoTimer(TObject*) {
    if (FSignal == siTxChar && FWriting) return; // the write goes on: stay on, keep ticking
    FTimer->SetEnabled(false);
    SetSignalValue(false);
}

} // namespace quillon
