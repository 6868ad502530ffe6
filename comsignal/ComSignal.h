#pragma once
// The signal indicator: shows one line event or line state of a port on a control, by
// putting its own hooks in the port's handler slots and calling the handlers it replaced.
#include "comport/ComPort.h"
#include "rtl/Control.h"
#include "rtl/Timer.h"

#include <cstdint>

namespace quillon {

using rtl::TColor;
using rtl::TControl;

/// What an indicator shows.
enum TSignal : uint8_t {
    siNone,
    siBreak,
    siRxChar,
    siTxChar,
    siCTS,
    siDSR,
    siEvent1,
    siEvent2,
    siLineError,
    siPrinterError,
    siRing,
    siRLSD,
    siRx80PercFull,
    siRxFlag,
    siTxEmpty
};

/// A signal indicator: lights a control while a port's line event or line state is on.
/// CTS, DSR and RLSD follow their line; a ring lights it for Delay, since a ring is only
/// reported once the ring indicator has gone off again.
class TComSignal : public TComponent {
  public:
    /// An unbound indicator: off, ColorOff green, ColorOn lime, Delay 100 ms.
    explicit TComSignal(TComponent* AOwner);
    /// Puts back the handlers it replaced on its port.
    ~TComSignal() override;

    /// A version and credit line; writing it is accepted and ignored.
    string About() const;
    /// Ignored: About is read-only.
    void SetAbout(const string&) {}
    /// The control's colour while off.
    TColor ColorOff() const { return FColorOff; }
    /// Stores the colour and repaints the control.
    void SetColorOff(TColor Value);
    /// The control's colour while on.
    TColor ColorOn() const { return FColorOn; }
    /// Stores the colour; the control takes it at its next change of state.
    void SetColorOn(TColor Value);
    /// The bound port, or none.
    TComPort* ComPort() const { return FComPort; }
    /// Unbinds from the current port and binds to Value (none unbinds only).
    void SetComPort(TComPort* Value);
    /// The control painted, or none.
    TControl* Control() const { return FControl; }
    /// Stores the control and paints it.
    void SetControl(TControl* Value);
    /// Milliseconds an event signal stays on after the last event.
    int32_t Delay() const { return FDelay; }
    /// Stores the delay and makes it the timer's interval.
    void SetDelay(int32_t Value);
    /// What is shown.
    TSignal Signal() const { return FSignal; }
    /// Stores the signal; a bound indicator moves its hooks to the new signal's events.
    void SetSignal(TSignal Value);
    /// True while the signal is on.
    bool SignalValue() const { return FSignalValue; }
    /// Called with the indicator as Sender whenever SignalValue changes.
    TNotifyEvent OnSignal() const { return FOnSignal; }
    /// Sets the handler called on each change of SignalValue.
    void SetOnSignal(TNotifyEvent Value) { FOnSignal = Value; }

    /// Binds to the port once the stored properties are in place, and paints the control.
    void Loaded() override;
    /// Lets go of a port or control that is being destroyed.
    void Notification(TComponent* AComponent, rtl::TOperation Operation) override;

  private:
    void SetSignalValue(bool Value);
    void UpdateColor();
    void UpdateSignal();
    void RestartTimer();
    void BindPort();
    void UnbindPort();
    void BindSignalEvents();
    void UnbindSignalEvents();
    bool CanBind() const;

    void DoNotifySignal(TObject* Sender);
    void DoLineError(TObject* Sender, TLineErrors LineErrors);
    void DoModemSignal(TObject* Sender);
    void DoBeforeWrite(TObject* Sender, const void* Buffer, int32_t Length, bool WaitOnCompletion);
    void DoAfterWrite(TObject* Sender, const void* Buffer, int32_t Length, bool WaitOnCompletion);
    void DoAfterOpen(TCustomComPort* ComPort);
    void DoAfterClose(TCustomComPort* ComPort);
    void DoTimer(TObject* Sender);

    template <auto Hook, class E>
    void Link(E (TCustomComPort::*Get)() const, void (TCustomComPort::*Set)(E),
              E TComSignal::*Saved);
    template <auto Hook, class E>
    void Unlink(E (TCustomComPort::*Get)() const, void (TCustomComPort::*Set)(E),
                E TComSignal::*Saved);

    TColor FColorOff = rtl::clGreen;
    TColor FColorOn = rtl::clLime;
    TComPort* FComPort = nullptr;
    TControl* FControl = nullptr;
    int32_t FDelay = 100;
    TSignal FSignal = siNone;
    bool FSignalValue = false;
    rtl::TTimer* FTimer = nullptr;
    bool FWriting = false;
    bool FBound = false; // its hooks are in the port's chains
    TOpenCloseEvent FAfterClose;
    TOpenCloseEvent FAfterOpen;
    TReadWriteEvent FAfterWrite;
    TReadWriteEvent FBeforeWrite;
    TNotifyEvent FOnNotifySignal;
    TLineErrorEvent FOnLineError;
    TNotifyEvent FOnModemSignal;
    TNotifyEvent FOnSignal;
};

} // namespace quillon
