#pragma once
// TForm2, the operator console's window: its controls come from the stored layout
// (Unit2.ui); its non-visual components (the port, the two indicators, the open-file
// dialog and the polling timer) are created, loaded and bound here in layout order.
#include "app/Dialogs.h"
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

class TOpenDialog;
class TTemperatureChart;

class TForm2 : public QWidget {
    Q_OBJECT
  public:
    /// Builds the window and its components, binds the handlers and runs FormCreate.
    /// Numbers in log files are read with formatSettings (the user's, captured at start).
    explicit TForm2(
        IDialogs& dialogs,
        const rtl::TFormatSettings& formatSettings = rtl::TFormatSettings::FromEnvironment(),
        QWidget* parent = nullptr);
    ~TForm2() override;

    /// The controls of the stored layout.
    Ui::Form2& Form() const { return *FUi; }
    /// The component standing for the window: owner of the non-visual components.
    rtl::TComponent& Components() const { return *FComponents; }
    TComPort* ComPort() const { return FComPort; }
    TComSignal* ComSignalRX() const { return FComSignalRX; }
    TComSignal* ComSignalTX() const { return FComSignalTX; }
    TOpenDialog* OpenDialog1() const { return FOpenDialog1; }
    rtl::TTimer* Timer1() const { return FTimer1; }
    TTemperatureChart& Chart1() const { return *FChart; }

    int64_t ReadBytesTotal() const { return octetslus; }
    int64_t WrittenBytesTotal() const { return octetsecrits; }
    const std::string& Reading() const { return lecture; }
    int32_t ErrorCount() const { return nberreurs; }
    /// True during the pause that follows a wrong-length reading.
    bool PausePending() const { return FPauseTimer != 0; }

    void AddReadBytes(int32_t Count);
    void AddWriteBytes(int32_t Count);
    /// Keeps the controls in step with the port's state.
    void UpdateControls();
    /// The operator's temperature request.
    void RequestTemperature();
    /// One polling tick's request.
    void PollTemperature();

    /// The pause after a wrong-length reading, in milliseconds.
    static constexpr int ErrorPauseMs = 2000;

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

    void FinishReading();
    void EndPause();
    void CancelPause();
    void WriteCommand(const AnsiString& bytes);
    /// Points the closed port at the device chosen in ComboBoxDeviceName.
    void RetargetPort();
    /// Brings ComboBoxDeviceName in line with the machine's devices, less one just removed.
    void RefreshDeviceList(const string* removed);
    /// Shows a box; the chart and Memo1 first show what a load has read so far.
    void ShowBox(IDialogs::TBoxKind kind, const QString& text);
    void FlushLoad();

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

    // The window's own state.
    int64_t octetslus = 0;
    int64_t octetsecrits = 0;
    std::string lecture;
    int32_t nberreurs = 0;
    bool lecturefermee = false;
    char ligne[255] = {};
    int32_t posvirgule = 0;
    int32_t pospointvirgule = 0;
    int32_t erreurformat = 0;

    bool FDestroying = false;
    rtl::IMainLoop::TimerId FPauseTimer = 0;
    bool FWritingPoll = false;      // a polling tick's write is under way
    bool FPollErrorShowing = false; // the box of a polling tick's failed write is open
    QStringList FPendingMemo1;      // lines a load has read but Memo1 does not show yet
};

} // namespace quillon::console
