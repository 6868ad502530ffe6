#include "app/Unit2.h"

#include "app/Artwork.h"
#include "app/CodePage.h"
#include "app/ColorAdapters.h"
#include "app/ComboStrings.h"
#include "app/OpenDialog.h"
#include "app/PortAccess.h"
#include "app/ReplyScan.h"
#include "app/TemperatureChart.h"
#include "platform/DeviceNames.h"
#include "rtl/Application.h"
#include "ui_Unit2.h"

#include <QFile>
#include <QFont>
#include <QProgressBar>
#include <QTimer>
#include <memory>
#include <utility>

namespace quillon::console {

namespace {

// The device namespace prefix put before the chosen device's name.
const string kDevicePrefix = u"\\\\.\\";

// Shape1's fill for the LED's states.
constexpr rtl::TColor kLedOff = rtl::clWhite;
constexpr rtl::TColor kLedOn = rtl::clYellow;

// A load's slice: short enough that the window answers at once between two.
constexpr auto kLoadSlice = std::chrono::milliseconds(20);
// A load shows its progress once it has taken longer than this.
constexpr auto kLoadQuiet = std::chrono::milliseconds(300);

// Appends "1" .. "last" to an editable list whose text is not one of its items: adding
// the first item would otherwise select it and replace the text.
void AppendNumbers(QComboBox* combo, int last) {
    const QString text = combo->currentText();
    for (int i = 1; i <= last; ++i)
        combo->addItem(QString::number(i));
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

} // namespace

TForm2::TForm2(IDialogs& dialogs, const rtl::TFormatSettings& formatSettings, QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::Form2>()), FDialogs(dialogs),
      FFormatSettings(formatSettings) {
    // The layout names Windows faces; where they are missing, common free faces of the
    // same widths keep the captions inside their controls.
    QFont::insertSubstitutions(
        QStringLiteral("Tahoma"),
        {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"),
                                                         QStringLiteral("DejaVu Sans Condensed")});
    QFont::insertSubstitutions(QStringLiteral("Terminal"), {QStringLiteral("DejaVu Sans Mono"),
                                                            QStringLiteral("Liberation Mono")});
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
    FLoadProgress = new QProgressBar(this);
    FLoadProgress->setRange(0, 100);
    FLoadProgress->setFormat(QStringLiteral("Lecture du fichier : %p %"));
    FUi->StatusBar->addPermanentWidget(FLoadProgress);
    FLoadProgress->hide();
    FLoadSlice = new QTimer(this);
    FLoadSlice->setSingleShot(true);
    connect(FLoadSlice, &QTimer::timeout, this, [this] { Guarded([this] { ContinueLoad(); }); });
    CreateComponents();
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
    FComPort->SetDeviceName(kDevicePrefix + ToRtlString(FUi->ComboBoxDeviceName->currentText()));
    for (QWidget* w :
         {static_cast<QWidget*>(FUi->envoyertexte), static_cast<QWidget*>(FUi->Button1),
          static_cast<QWidget*>(FUi->envoyervaleur), static_cast<QWidget*>(FUi->texte),
          static_cast<QWidget*>(FUi->envoinom), static_cast<QWidget*>(FUi->envoiparametre)})
        w->setEnabled(false);
    AddReadBytes(0);
    AddWriteBytes(0);
    AppendNumbers(FUi->listeid, 127);
    AppendNumbers(FUi->listeid1, 299);
    FUi->led2->setChecked(true);
    FUi->Button3->setEnabled(false);
    FUi->Button4->setEnabled(false);
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
    for (QWidget* w :
         {static_cast<QWidget*>(FUi->Memo), static_cast<QWidget*>(FUi->envoyertexte),
          static_cast<QWidget*>(FUi->Button1), static_cast<QWidget*>(FUi->envoyervaleur),
          static_cast<QWidget*>(FUi->envoinom), static_cast<QWidget*>(FUi->envoiparametre),
          static_cast<QWidget*>(FUi->RadioButton6), static_cast<QWidget*>(FUi->Button3),
          static_cast<QWidget*>(FUi->Button4)})
        w->setEnabled(active);
    if (active) FUi->Memo->setFocus();
    FUi->ComboBoxDeviceName->setEnabled(!active);
}

void TForm2::SpeedButtonConfigClick() {
    FComPort->ConfigDialog();
}

void TForm2::SpeedButtonOpenCloseClick() {
    FComPort->SetActive(!FComPort->Active());
}

void TForm2::effacerClick() {
    FUi->Memo->Clear();
}

void TForm2::ComPortAfterOpen(TCustomComPort*) {
    UpdateControls();
}

void TForm2::ComPortAfterClose(TCustomComPort*) {
    UpdateControls();
    RetargetPort();
}

void TForm2::ComPortAfterWrite(TObject*, const void*, int32_t Length, bool) {
    AddWriteBytes(Length);
}

void TForm2::ComPortError(TCustomComPort* Sender, EComError& E, TComAction& Action) {
    QString text = QStringLiteral("Error ") + QString::number(E.ErrorCode) + QStringLiteral(": ") +
                   QString::fromUtf8(E.Message());
    // The system's words first, unchanged; then what the operator can do about them.
    const std::string advice =
        PortErrorAdvice(E.ErrorCode, qwin::detail::NormaliseDeviceName(Sender->DeviceName()));
    if (!advice.empty()) text += QStringLiteral("\n\n") + QString::fromUtf8(advice);
    // The dialogue holds back polling ticks while the box of a tick's write is open.
    struct TBoxOpen {
        TTemperatureDialogue& Dialogue;
        ~TBoxOpen() { Dialogue.ErrorBoxClosed(); }
    };
    FDialogue.ErrorBoxOpening();
    {
        const TBoxOpen open{FDialogue};
        FDialogs.ShowBox(IDialogs::bkError, text);
    }
    Action = caAbort;
}

// ---- devices

void TForm2::ComboBoxDeviceNameChange() {
    RetargetPort();
}

void TForm2::RetargetPort() {
    if (FDestroying || FComPort->Active()) return;
    const string name = kDevicePrefix + ToRtlString(FUi->ComboBoxDeviceName->currentText());
    if (name != FComPort->DeviceName()) FComPort->SetDeviceName(name);
}

void TForm2::ComPortDeviceArrival(TObject*, const string&) {
    RefreshDeviceList(nullptr);
}

void TForm2::ComPortDeviceRemoved(TObject*, const string& DeviceName) {
    RefreshDeviceList(&DeviceName);
}

void TForm2::RefreshDeviceList(const string* removed) {
    if (FDestroying) return;
    rtl::TStringList found;
    FComPort->EnumComDevicesFromRegistry(found);
    QStringList present;
    for (const string& name : found.Items())
        if (!removed || name != *removed) present.append(FromRtlString(name));

    QComboBox* combo = FUi->ComboBoxDeviceName;
    const QString chosen = combo->currentText();
    // Ports in a name space (a remote one, say) are not discovered: they stay.
    for (int i = combo->count() - 1; i >= 0; --i)
        if (!present.contains(combo->itemText(i)) &&
            !qwin::detail::NamespaceOpener(combo->itemText(i).toStdString()))
            combo->removeItem(i);
    for (const QString& name : present)
        if (combo->findText(name) < 0) combo->addItem(name);
    const int index = combo->findText(chosen);
    combo->setCurrentIndex(index >= 0 ? index : 0);
    RetargetPort();
}

// ---- reception

void TForm2::ComPortRxChar(TObject*) {
    const AnsiString chunk = FComPort->ReadAnsiString();
    const QString text = TextOfBytes(chunk);
    if (!FUi->RadioButton6->isChecked()) FUi->Memo->AppendText(text);
    AddReadBytes(static_cast<int32_t>(chunk.size()));
    FUi->valeur->setText(TextOfBytes(UpToFirstNul(chunk)));
    if (FUi->RadioButton6->isChecked()) FDialogue.Received(chunk);
    if (FUi->led1->isChecked()) {
        switch (LedReportOf(chunk)) {
        case TLedReport::Off:
            FUi->Shape1->SetBrushColor(ToQColor(kLedOff));
            break;
        case TLedReport::On:
            FUi->Shape1->SetBrushColor(ToQColor(kLedOn));
            break;
        case TLedReport::None:
            break;
        }
    }
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

void TForm2::SetPolling(bool on) {
    FTimer1->SetEnabled(on);
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
    FUi->Button3->setEnabled(false);
    FUi->Button2->setEnabled(true);
}

void TForm2::RadioButton6Click() {
    FUi->Button2->setEnabled(false);
    FUi->Button3->setEnabled(true);
}

void TForm2::Button3Click() {
    FDialogue.Request();
}

void TForm2::Timer1Timer(TObject*) {
    FDialogue.Tick();
}

// ---- temperature log

void TForm2::Button2Click() {
    if (FLoad) {
        // A new load replaces one still going on, which keeps what it has read.
        FLoad.reset();
        FLoadSlice->stop();
        FLoadProgress->hide();
        FlushLoad();
    }
    FUi->Memo1->Clear();
    if (!FOpenDialog1->Execute()) return;
    const QString path = FOpenDialog1->FileName();
    FUi->Edit1->setText(path);
    FLoad = TTempLogLoad::Open(ToRtlString(path), QFile::encodeName(path).toStdString(),
                               FFormatSettings, *this);
    if (!FLoad) return;
    FUi->Memo1->Clear();
    FChart->Clear();
    FLoadStart = std::chrono::steady_clock::now();
    ContinueLoad();
}

void TForm2::ContinueLoad() {
    // Held here: a box of this slice may let the operator start another load.
    const std::shared_ptr<TTempLogLoad> load = FLoad;
    if (!load) return;
    const auto now = std::chrono::steady_clock::now();
    if (!load->Step(now + kLoadSlice)) {
        if (load != FLoad) return;
        FlushMemo1();
        if (now - FLoadStart > kLoadQuiet) {
            FLoadProgress->setValue(static_cast<int>(load->Progress() * 100));
            FLoadProgress->show();
        }
        FLoadSlice->start(0);
        return;
    }
    if (load != FLoad) return;
    FLoad.reset();
    FLoadProgress->hide();
}

void TForm2::AddLine(std::string_view temperature) {
    FPendingMemo1 +=
        QLatin1StringView(temperature.data(), static_cast<qsizetype>(temperature.size()));
    FPendingMemo1 += QLatin1Char('\n');
}

void TForm2::AddPoint(double id, double temperature) {
    FChart->Add(id, temperature);
}

void TForm2::ShowBox(const std::string& text) {
    // Behind a box, the chart and Memo1 show what the load has read so far.
    FlushLoad();
    FDialogs.ShowBox(IDialogs::bkMessage, QString::fromUtf8(text));
}

void TForm2::FlushLoad() {
    FlushMemo1();
    FChart->Flush();
}

void TForm2::FlushMemo1() {
    if (!FPendingMemo1.isEmpty()) FUi->Memo1->AppendLines(std::exchange(FPendingMemo1, QString()));
}

} // namespace quillon::console
