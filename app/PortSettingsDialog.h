#pragma once
// The port settings dialog over a device control block: rate (any positive rate, typed or
// chosen), data bits, parity, stop bits, DTR, RTS and XON/XOFF flow control. Installed as
// the platform's configuration dialog, so the port's ConfigDialog shows it.
#include "platform/WinApi.h"

#include <QDialog>
#include <memory>

namespace Ui {
class PortSettingsDialog;
}

namespace quillon::console {

class TPortSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TPortSettingsDialog(const QString& portName, QWidget* parent = nullptr);
    ~TPortSettingsDialog() override;

    /// Shows the settings of dcb; the members the dialog has no field for are kept.
    void SetDCB(const qwin::DCB& dcb);
    /// dcb as given to SetDCB with the fields' values over it. Only meaningful once the
    /// fields are valid (see Validate).
    qwin::DCB DCB() const;
    /// Checks the fields; on a bad rate shows why, keeps everything typed and says false.
    bool Validate();
    QString ErrorText() const;

    void accept() override;

    Ui::PortSettingsDialog& Form() { return *FUi; }

  private:
    std::unique_ptr<Ui::PortSettingsDialog> FUi;
    qwin::DCB FBase{};
};

/// Shows the dialog for the device name over cc.dcb; true (cc updated) on OK.
bool EditCommConfig(const qwin::string& name, qwin::COMMCONFIG& cc);

/// Makes EditCommConfig the platform's configuration dialog.
void InstallPortSettingsDialog();

} // namespace quillon::console
