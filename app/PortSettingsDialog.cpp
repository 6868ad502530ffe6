#include "app/PortSettingsDialog.h"

#include "ui_PortSettingsDialog.h"

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <climits>

namespace quillon::console {

namespace {

// Selects the entry whose text is value, adding it when the list lacks it, so that a
// setting the list does not offer is shown and kept rather than replaced.
void SelectText(QComboBox* combo, const QString& value) {
    int index = combo->findText(value);
    if (index < 0) {
        combo->addItem(value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

void SelectIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(std::clamp(index, 0, combo->count() - 1));
}

// The typed rate: a whole number of bits per second from 1 up to what the port keeps.
bool ParseRate(const QString& text, qwin::DWORD& rate) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 1 || value > INT32_MAX) return false;
    rate = static_cast<qwin::DWORD>(value);
    return true;
}

} // namespace

TPortSettingsDialog::TPortSettingsDialog(const QString& portName, QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::PortSettingsDialog>()) {
    FUi->setupUi(this);
    if (!portName.isEmpty()) setWindowTitle(tr("Paramètres du port %1").arg(portName));
    FUi->ErrorLabel->hide();
    connect(FUi->ButtonBox, &QDialogButtonBox::accepted, this, &TPortSettingsDialog::accept);
    connect(FUi->ButtonBox, &QDialogButtonBox::rejected, this, &TPortSettingsDialog::reject);
    connect(FUi->BaudRate, &QComboBox::editTextChanged, FUi->ErrorLabel, &QWidget::hide);
}

TPortSettingsDialog::~TPortSettingsDialog() = default;

void TPortSettingsDialog::SetDCB(const qwin::DCB& dcb) {
    FBase = dcb;
    FUi->BaudRate->setEditText(QString::number(dcb.BaudRate));
    SelectText(FUi->DataBits, QString::number(dcb.ByteSize));
    SelectIndex(FUi->Parity, dcb.Parity);
    SelectIndex(FUi->StopBits, dcb.StopBits);
    SelectIndex(FUi->DtrControl, static_cast<int>(dcb.fDtrControl));
    SelectIndex(FUi->RtsControl, static_cast<int>(dcb.fRtsControl));
    SelectIndex(FUi->XonXoff, static_cast<int>(dcb.fInX | (dcb.fOutX << 1)));
}

qwin::DCB TPortSettingsDialog::DCB() const {
    qwin::DCB dcb = FBase;
    qwin::DWORD rate = dcb.BaudRate;
    if (ParseRate(FUi->BaudRate->currentText(), rate)) dcb.BaudRate = rate;
    dcb.ByteSize = static_cast<qwin::BYTE>(FUi->DataBits->currentText().toUInt());
    dcb.Parity = static_cast<qwin::BYTE>(FUi->Parity->currentIndex());
    dcb.StopBits = static_cast<qwin::BYTE>(FUi->StopBits->currentIndex());
    dcb.fDtrControl = static_cast<qwin::DWORD>(FUi->DtrControl->currentIndex());
    dcb.fRtsControl = static_cast<qwin::DWORD>(FUi->RtsControl->currentIndex());
    const int xonxoff = FUi->XonXoff->currentIndex();
    dcb.fInX = xonxoff & 1;
    dcb.fOutX = (xonxoff >> 1) & 1;
    return dcb;
}

bool TPortSettingsDialog::Validate() {
    qwin::DWORD rate = 0;
    if (ParseRate(FUi->BaudRate->currentText(), rate)) return true;
    FUi->ErrorLabel->setText(
        tr("Débit invalide : entrez un nombre entier de bits par seconde, de 1 à %1.")
            .arg(INT32_MAX));
    FUi->ErrorLabel->show();
    FUi->BaudRate->setFocus();
    return false;
}

QString TPortSettingsDialog::ErrorText() const {
    return FUi->ErrorLabel->isHidden() ? QString() : FUi->ErrorLabel->text();
}

void TPortSettingsDialog::accept() {
    if (Validate()) QDialog::accept();
}

bool EditCommConfig(const qwin::string& name, qwin::COMMCONFIG& cc) {
    TPortSettingsDialog dialog(QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())),
                               QApplication::activeWindow());
    dialog.SetDCB(cc.dcb);
    if (dialog.exec() != QDialog::Accepted) return false;
    cc.dcb = dialog.DCB();
    return true;
}

void InstallPortSettingsDialog() {
    qwin::SetCommConfigDialogProvider(&EditCommConfig);
}

} // namespace quillon::console
