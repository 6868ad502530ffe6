#pragma once
// TForm2, the operator console's window: its controls come from the stored layout
// (Unit2.ui); its non-visual components (the port, the two indicators, the open-file
// dialog and the polling timer) are created, loaded and bound here in layout order.
#include "app/Dialogs.h"
#include "app/EnableRules.h"
#include "app/TemperatureDialogue.h"
#include "comport/ComPort.h"
#include "comsignal/ComSignal.h"
#include "rtl/Locale.h"
#include "rtl/MainLoop.h"
#include "rtl/Timer.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class Form2;
}

namespace quillon::console {

class TDeviceChoice;
class TJournalOption;
class TOpenDialog;
class TTerminalTools;
class TTempLogRunner;
class TTemperatureChart;

class TForm2 : public QWidget, private TTemperatureDialogue::IOutputs {
    Q_OBJECT
  public:
    /// Builds the window and its components, binds the handlers and runs FormCreate.
    /// Numbers in log files are read with formatSettings (the user's, captured at start).
    explicit TForm2(
        IDialogs& dialogs,
        const rtl::TFormatSettings& formatSettings = rtl::TFormatSettings::FromEnvironment(),
        QWidget* parent = nullptr);
    ~TForm2() override;

    void AddReadBytes(int32_t Count);
    void AddWriteBytes(int32_t Count);
    /// Keeps the controls in step with the port's state.
    void UpdateControls();
    /// The operator's temperature request, and one tick of polling.
    void RequestTemperature();
    void PollTemperature();

  protected:
    // For tests and benchmarks, which reach the window through a subclass.
    Ui::Form2& Form() const { return *FUi; }
    /// The component standing for the window: owner of the non-visual components.
    rtl::TComponent& Components() const { return *FComponents; }
    TComPort* ComPort() const { return FComPort; }
    TComSignal* ComSignalRX() const { return FComSignalRX; }
    TComSignal* ComSignalTX() const { return FComSignalTX; }
    rtl::TTimer* Timer1() const { return FTimer1; }
    TTemperatureChart& Chart1() const { return *FChart; }
    int64_t ReadBytesTotal() const { return octetslus; }
    int64_t WrittenBytesTotal() const { return octetsecrits; }
    /// True while a log load goes on between the window's events.
    bool Loading() const;

  private:
    void CreateComponents();
    void ConnectControls();
    void FormCreate();

    // Handlers of the controls.
    void SpeedButtonConfigClick();
    void SpeedButtonOpenCloseClick();
    void effacerClick();
    void envoiparametreClick();
    void RadioButton5Click();
    void RadioButton6Click();
    void Button3Click();
    void listeid1Click();
    void listeidClick();
    void Button4Click();
    void Button2Click();
    void ComboBoxDeviceNameChange();

    // Handlers of the components.
    void ComPortAfterOpen(TCustomComPort* Sender);
    void ComPortAfterClose(TCustomComPort* Sender);
    void ComPortAfterWrite(TObject* Sender, const void* Buffer, int32_t Length,
                           bool WaitOnCompletion);
    void ComPortError(TCustomComPort* Sender, EComError& E, TComAction& Action);
    void ComPortRxChar(TObject* Sender);
    void ComPortDeviceArrival(TObject* Sender, const string& DeviceName);
    void ComPortDeviceRemoved(TObject* Sender, const string& DeviceName);
    void Timer1Timer(TObject* Sender);

    /// Runs a control's handler as the message loop runs one: an exception goes to the
    /// application's display (the silent abort to nowhere) and the window goes on.
    template <class F> void Guarded(F&& handler);

    // What the temperature dialogue shows and sends.
    void Show(TTemperatureDialogue::TField field, const std::string& text) override;
    void ClearReadings() override;
    void AddReading(const std::string& text) override;
    void SetPolling(bool on) override;
    void StartPause(int ms) override;
    void StopPause() override;
    void Send(const std::string& bytes) override;
    void Judged(const std::string& reading, int errors) override;

    /// Enables and disables the layout's controls as cause asks (EnableRules.h).
    void ApplyEnableRules(TEnableCause cause);

    std::unique_ptr<Ui::Form2> FUi;
    IDialogs& FDialogs;
    const rtl::TFormatSettings FFormatSettings;
    std::unique_ptr<TTemperatureChart> FChart;
    std::unique_ptr<rtl::TComponent> FComponents;
    TComPort* FComPort = nullptr;
    TComSignal* FComSignalRX = nullptr;
    TComSignal* FComSignalTX = nullptr;
    TOpenDialog* FOpenDialog1 = nullptr;
    rtl::TTimer* FTimer1 = nullptr;

    // The window's own state. The temperature reading and its error count live in the
    // dialogue, the loader's line buffer in the load.
    int64_t octetslus = 0;
    int64_t octetsecrits = 0;

    bool FDestroying = false;
    TTerminalTools* FTerminal = nullptr; // hex view and saving, in the terminal's menu
    TJournalOption* FJournal = nullptr;  // "Journal des mesures", in Memo1's menu
    TDeviceChoice* FDevices = nullptr;   // the operator's device, as devices come and go
    bool FOperatorCloses = false;        // the port closes at the operator's word
    TTemperatureDialogue FDialogue{*this};
    rtl::IMainLoop::TimerId FPauseTimer = 0;
    TTempLogRunner* FLoad = nullptr; // the temperature log's load, between events
};

} // namespace quillon::console
