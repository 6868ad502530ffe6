#pragma once
// The port's device as the operator chose it, kept while the machine's devices come and go:
// the list follows the devices and keeps the choice (DeviceList.h), the closed port follows
// the choice, and a port closed by its device's loss reopens when that device returns if
// "Rouvrir automatiquement" (the list's context menu, off by default) is on.
#include "app/DeviceList.h"
#include "comport/ComPort.h"

#include <QObject>

class QAction;
class QComboBox;

namespace quillon::console {

class TDeviceChoice : public QObject {
  public:
    /// Adds the option to combo's context menu.
    TDeviceChoice(QComboBox* combo, TComPort& port);

    /// The entry selected now is the operator's device (at start-up, or chosen later); the
    /// closed port is pointed at it.
    void Chosen();
    /// The machine's devices changed; removed names one that is going, which the system may
    /// still list for a moment.
    void DevicesChanged(const string* removed);
    /// The port closed: lost when its device went away rather than at the operator's word.
    void PortClosed(bool lost);

  private:
    void Remember();
    void Retarget();

    QComboBox* FCombo;
    TComPort& FPort;
    TChosenDevice FChoice;
    QAction* FReopen;
    bool FLost = false;
};

} // namespace quillon::console
