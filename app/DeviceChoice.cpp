#include "app/DeviceChoice.h"

#include "app/CodePage.h"
#include "platform/DeviceNames.h"
#include "rtl/Application.h"

#include <QAction>
#include <QComboBox>
#include <QFile>

namespace quillon::console {

namespace {
// The device namespace prefix put before the chosen device's name.
const string kDevicePrefix = u"\\\\.\\";
} // namespace

TDeviceChoice::TDeviceChoice(QComboBox* combo, TComPort& port)
    : QObject(combo), FCombo(combo), FPort(port) {
    // Off unless the operator asks: a port reopening by itself would surprise.
    FReopen = new QAction(QStringLiteral("Rouvrir automatiquement"), this);
    FReopen->setObjectName(QStringLiteral("rouvrirauto"));
    FReopen->setCheckable(true);
    combo->addAction(FReopen);
    combo->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TDeviceChoice::Chosen() {
    FLost = false;
    Remember();
    // An absent device the operator chose away from is no longer kept.
    MergeDeviceList(FCombo, ListedDevices(FCombo), FChoice);
    Retarget();
}

void TDeviceChoice::Remember() {
    const QString path = DevicePathAt(FCombo, FCombo->currentIndex());
    if (path != FChoice.Path) FChoice = {path, DeviceIdentity(path)};
}

void TDeviceChoice::Retarget() {
    if (FPort.Active()) return;
    const string name = kDevicePrefix + ToRtlString(DevicePathAt(FCombo, FCombo->currentIndex()));
    if (name != FPort.DeviceName()) FPort.SetDeviceName(name);
}

void TDeviceChoice::PortClosed(bool lost) {
    FLost = lost;
    Retarget();
}

void TDeviceChoice::DevicesChanged(const string* removed) {
    rtl::TStringList found;
    FPort.EnumComDevicesFromRegistry(found);
    QStringList present;
    for (const string& name : found.Items())
        if (!removed || name != *removed) present.append(FromRtlString(name));
    // A device the operator named that the enumeration does not list stays while it exists.
    const QString chosen = FChoice.Path;
    if (!present.contains(chosen) && ListedDevices(FCombo).contains(chosen) &&
        (!removed || ToRtlString(chosen) != *removed) && QFile::exists(chosen))
        present.append(chosen);
    // Ports in a name space (a remote one, say) are not discovered: they stay.
    for (const QString& listed : ListedDevices(FCombo))
        if (!present.contains(listed) && qwin::detail::NamespaceOpener(listed.toStdString()))
            present.append(listed);

    const bool chosenPresent = MergeDeviceList(FCombo, present, FChoice);
    if (FChoice.Path.isEmpty()) Remember(); // the first device to come
    Retarget();
    if (chosenPresent && FLost && FReopen->isChecked() && !FPort.Active()) {
        FLost = false;
        try {
            FPort.Open(); // a failure has had its box
        } catch (...) {
            rtl::Application().HandleException(this);
        }
    }
}

} // namespace quillon::console
