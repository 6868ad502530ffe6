#include "app/Unit2.h"

#include "app/Artwork.h"
#include "app/CodePage.h"
#include "app/ColorAdapters.h"
#include "app/ComboStrings.h"
#include "app/DeviceChoice.h"
#include "app/JournalOption.h"
#include "app/OpenDialog.h"
#include "app/ParameterHistory.h"
#include "app/PortAccess.h"
#include "app/ReplyScan.h"
#include "app/TempLogRunner.h"
#include "app/TemperatureChart.h"
#include "app/TerminalTools.h"
#include "platform/DeviceNames.h"
#include "rtl/Application.h"
#include "ui_Unit2.h"

#include <memory>
#include <utility>

namespace quillon::console {

TForm2::TForm2(IDialogs& dialogs, const rtl::TFormatSettings& formatSettings, QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::Form2>()), FDialogs(dialogs),
      FFormatSettings(formatSettings) {
    SubstituteLayoutFaces();
    FUi->setupUi(this);
    setFixedSize(size()); // the layout sizes the window to its controls
    setWindowIcon(ConsoleIcon());
    FUi->Image1->setPixmap(BoardPicture(FUi->Image1->size()));
    FUi->StatusBar->addWidget(FUi->StatusPanel0);
    FUi->StatusBar->addWidget(FUi->StatusPanel1);
    FUi->StatusPanel0->setFixedWidth(300);
    FUi->StatusPanel1->setFixedWidth(150);
    FUi->Memo1->SetOwnFace(true);
    FChart = std::make_unique<TTemperatureChart>(FUi->Chart1);
    FLoad = new TTempLogRunner(FUi->Memo1, *FChart, FUi->StatusBar, FDialogs, FFormatSettings);
    FTerminal = new TTerminalTools(FUi->Memo, this, FDialogs);
    FJournal = new TJournalOption(FUi->Memo1, FDialogs);
    new TParameterHistory(FUi->parametre, FUi->envoiparametre);
    CreateComponents();
    FDevices = new TDeviceChoice(FUi->ComboBoxDeviceName, *FComPort);
    ConnectControls();
    FormCreate();
}

TForm2::~TForm2() {
    FDestroying = true;
    StopPause();
    // Last created first: the indicators give the port's handlers back, then the port
    // closes; its AfterClose finds the window going and touches nothing.
    FComponents.reset();
}

void TForm2::CreateComponents() {
    FComponents = std::make_unique<rtl::TComponent>(nullptr);
    FComponents->SetName("Form2");

    FComPort = new TComPort(FComponents.get());
    FComPort->SetName("ComPort");
    FComPort->BeginLoading();
    FComPort->SetActive(false);
    FComPort->SetDeviceName(u"COM1");
    FComPort->SetOptions(TOptions());
    FComPort->SetAfterOpen(TOpenCloseEvent::Of<&TForm2::ComPortAfterOpen>(this));
    FComPort->SetAfterClose(TOpenCloseEvent::Of<&TForm2::ComPortAfterClose>(this));
    FComPort->SetAfterWrite(TReadWriteEvent::Of<&TForm2::ComPortAfterWrite>(this));
    FComPort->SetOnError(TComErrorEvent::Of<&TForm2::ComPortError>(this));
    FComPort->SetOnRxChar(TNotifyEvent::Of<&TForm2::ComPortRxChar>(this));
    FComPort->SetOnDeviceArrival(TDeviceArrivalEvent::Of<&TForm2::ComPortDeviceArrival>(this));
    FComPort->SetOnDeviceRemoved(TDeviceRemovedEvent::Of<&TForm2::ComPortDeviceRemoved>(this));

    FComSignalRX = new TComSignal(FComponents.get());
    FComSignalRX->SetName("ComSignalRX");
    FComSignalRX->BeginLoading();
    FComSignalRX->SetComPort(FComPort);
    FComSignalRX->SetSignal(siRxChar);
    FComSignalRX->SetDelay(100);
    FComSignalRX->SetColorOn(rtl::clRed);
    FComSignalRX->SetColorOff(rtl::clMaroon);

    FComSignalTX = new TComSignal(FComponents.get());
    FComSignalTX->SetName("ComSignalTX");
    FComSignalTX->BeginLoading();
    FComSignalTX->SetComPort(FComPort);
    FComSignalTX->SetSignal(siTxChar);
    FComSignalTX->SetDelay(100);

    FOpenDialog1 = new TOpenDialog(FComponents.get(), FDialogs);
    FOpenDialog1->SetName("OpenDialog1");
    FOpenDialog1->BeginLoading();

    FTimer1 = new rtl::TTimer(FComponents.get());
    FTimer1->SetName("Timer1");
    FTimer1->BeginLoading();
    FTimer1->SetEnabled(false);
    FTimer1->SetInterval(10000);
    FTimer1->SetOnTimer(rtl::TNotifyEvent::Of<&TForm2::Timer1Timer>(this));

    // The port applies its stored Active first, then each indicator binds to it.
    FComponents->LoadedAll();
}

template <class F> void TForm2::Guarded(F&& handler) {
    try {
        handler();
    } catch (...) {
        rtl::Application().HandleException(this);
    }
}

void TForm2::ConnectControls() {
    auto on = [this](auto* sender, auto signal, void (TForm2::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    on(FUi->SpeedButtonConfig, &QToolButton::clicked, &TForm2::SpeedButtonConfigClick);
    on(FUi->SpeedButtonOpenClose, &QToolButton::clicked, &TForm2::SpeedButtonOpenCloseClick);
    on(FUi->effacer, &QPushButton::clicked, &TForm2::effacerClick);
    on(FUi->envoiparametre, &QPushButton::clicked, &TForm2::envoiparametreClick);
    on(FUi->RadioButton5, &QRadioButton::clicked, &TForm2::RadioButton5Click);
    on(FUi->RadioButton6, &QRadioButton::clicked, &TForm2::RadioButton6Click);
    on(FUi->Button3, &QPushButton::clicked, &TForm2::Button3Click);
    on(FUi->listeid1, &QComboBox::activated, &TForm2::listeid1Click);
    on(FUi->listeid, &QComboBox::activated, &TForm2::listeidClick);
    on(FUi->Button4, &QPushButton::clicked, &TForm2::Button4Click);
    on(FUi->Button2, &QPushButton::clicked, &TForm2::Button2Click);
    on(FUi->ComboBoxDeviceName, &QComboBox::activated, &TForm2::ComboBoxDeviceNameChange);
}

void TForm2::FormCreate() {
    TComboStrings devices(FUi->ComboBoxDeviceName);
    FComPort->EnumComDevicesFromRegistry(devices);
    FUi->ComboBoxDeviceName->setCurrentIndex(0);
    FDevices->Chosen();
    ApplyEnableRules(ecFormCreate);
    AddReadBytes(0);
    AddWriteBytes(0);
    AppendNumbers(FUi->listeid, 127);
    AppendNumbers(FUi->listeid1, 299);
    FUi->led2->setChecked(true);
}

void TForm2::ApplyEnableRules(TEnableCause cause) {
    for (const TEnableChange& change : EnableChanges(cause, FComPort->Active()))
        findChild<QWidget*>(QLatin1String(change.Control))->setEnabled(change.Enabled);
}

// ---- port control and counters

void TForm2::AddReadBytes(int32_t Count) {
    octetslus += Count;
    FUi->StatusPanel0->setText(QStringLiteral("Read bytes: ") + QString::number(octetslus));
}

void TForm2::AddWriteBytes(int32_t Count) {
    octetsecrits += Count;
    FUi->StatusPanel1->setText(QStringLiteral("Write bytes: ") + QString::number(octetsecrits));
}

void TForm2::UpdateControls() {
    if (!isVisible() || FDestroying) return;
    const bool active = FComPort->Active();
    FUi->SpeedButtonOpenClose->setText(active ? QStringLiteral("Close") : QStringLiteral("Open"));
    ApplyEnableRules(ecPortState);
    if (active) FUi->Memo->setFocus();
}

void TForm2::SpeedButtonConfigClick() {
    FComPort->ConfigDialog();
}

void TForm2::SpeedButtonOpenCloseClick() {
    const bool wasActive = FComPort->Active();
    FOperatorCloses = wasActive;
    struct TDone {
        bool& Flag;
        ~TDone() { Flag = false; }
    } done{FOperatorCloses};
    FComPort->SetActive(!wasActive);
}

void TForm2::effacerClick() {
    FTerminal->Clear();
}

void TForm2::ComPortAfterOpen(TCustomComPort*) {
    UpdateControls();
}

void TForm2::ComPortAfterClose(TCustomComPort*) {
    // Each tick writes: on a closed port it could only show the closed-port box.
    if (!FDestroying) FTimer1->SetEnabled(false);
    UpdateControls();
    // Closed by the port itself: its device went away, and may come back.
    if (!FDestroying) FDevices->PortClosed(!FOperatorCloses);
}

void TForm2::ComPortAfterWrite(TObject*, const void*, int32_t Length, bool) {
    AddWriteBytes(Length);
}

void TForm2::ComPortError(TCustomComPort* Sender, EComError& E, TComAction& Action) {
    const std::string text = PortErrorText(E.ErrorCode, E.Message(),
                                           qwin::detail::NormaliseDeviceName(Sender->DeviceName()));
    // The dialogue holds back polling ticks while the box of a tick's write is open.
    const TTemperatureDialogue::TErrorBox open(FDialogue);
    FDialogs.ShowBox(IDialogs::bkError, QString::fromUtf8(text));
    Action = caAbort;
}

// ---- devices

void TForm2::ComboBoxDeviceNameChange() {
    FDevices->Chosen();
}

void TForm2::ComPortDeviceArrival(TObject*, const string&) {
    if (!FDestroying) FDevices->DevicesChanged(nullptr);
}

void TForm2::ComPortDeviceRemoved(TObject*, const string& DeviceName) {
    if (!FDestroying) FDevices->DevicesChanged(&DeviceName);
}

// ---- reception

void TForm2::ComPortRxChar(TObject*) {
    const AnsiString chunk = FComPort->ReadAnsiString();
    if (!FUi->RadioButton6->isChecked()) FTerminal->Received(chunk);
    AddReadBytes(static_cast<int32_t>(chunk.size()));
    FUi->valeur->setText(TextOfBytes(UpToFirstNul(chunk)));
    if (FUi->RadioButton6->isChecked()) FDialogue.Received(chunk);
    const TLedReport led = FUi->led1->isChecked() ? LedReportOf(chunk) : TLedReport::None;
    // Shape1's fill for the LED's states.
    if (led != TLedReport::None)
        FUi->Shape1->SetBrushColor(ToQColor(led == TLedReport::On ? rtl::clYellow : rtl::clWhite));
}

// ---- the temperature dialogue's outputs

void TForm2::Show(TTemperatureDialogue::TField field, const std::string& text) {
    QLineEdit* edit = field == TTemperatureDialogue::dfTest    ? FUi->test
                      : field == TTemperatureDialogue::dfTest2 ? FUi->test2
                                                               : FUi->longueurmot2;
    edit->setText(TextOfBytes(text));
}

void TForm2::ClearReadings() {
    FUi->Memo1->Clear();
}

void TForm2::AddReading(const std::string& text) {
    FUi->Memo1->AppendLines(TextOfBytes(text));
}

void TForm2::Judged(const std::string& reading, int errors) {
    FJournal->Judged(reading, errors);
}

void TForm2::SetPolling(bool on) {
    // A pause that ends after the port closed shows its count but starts no polling.
    FTimer1->SetEnabled(on && FComPort->Active());
}

void TForm2::StartPause(int ms) {
    StopPause();
    // The window keeps working during the pause; its step runs when the pause ends.
    FPauseTimer = rtl::MainLoop().StartTimer(ms, [this] {
        StopPause();
        FDialogue.PauseOver();
    });
}

void TForm2::StopPause() {
    if (FPauseTimer) rtl::MainLoop().StopTimer(std::exchange(FPauseTimer, 0));
}

void TForm2::Send(const std::string& bytes) {
    FComPort->WriteAnsiString(bytes);
}

// ---- commands and polling

void TForm2::envoiparametreClick() {
    FComPort->WriteAnsiString(BytesOfText(FUi->parametre->text()));
}

void TForm2::listeid1Click() {
    FUi->Edit2->setText(FUi->listeid1->currentText());
}

void TForm2::Button4Click() {
    FComPort->WriteAnsiString("c" + BytesOfText(FUi->Edit2->text()));
}

void TForm2::listeidClick() {
    FUi->texte->setText(FUi->listeid->currentText());
}

void TForm2::RadioButton5Click() {
    ApplyEnableRules(ecFileSource);
}

void TForm2::RadioButton6Click() {
    ApplyEnableRules(ecLinkSource);
}

void TForm2::Button3Click() {
    RequestTemperature();
}

void TForm2::Timer1Timer(TObject*) {
    PollTemperature();
}

void TForm2::RequestTemperature() {
    FDialogue.Request();
}

void TForm2::PollTemperature() {
    FDialogue.Tick();
}

// ---- temperature log

bool TForm2::Loading() const {
    return FLoad->Loading();
}

void TForm2::Button2Click() {
    FLoad->Stop();
    FUi->Memo1->Clear();
    if (!FOpenDialog1->Execute()) return;
    FUi->Edit1->setText(FOpenDialog1->FileName());
    FLoad->Start(FOpenDialog1->FileName());
}

} // namespace quillon::console
