#pragma once
// The port list: its first-run help (whole entries in its drop-down, the chosen entry's path
// and friendly name as its tooltip, a device chosen from the command line), and the merge
// that keeps the operator's choice across every rebuild of the list.
#include <QComboBox>
#include <QString>
#include <QStringList>

namespace quillon::console {

/// Keeps the closed list at its layout size while its drop-down grows to the longest
/// entry, and gives each entry, and the list for the chosen one, its path and friendly
/// name as tooltip; follows the entries as they change.
void FitDeviceList(QComboBox* combo);

/// Chooses device as the operator would (a bare name is taken relative to /dev), adding
/// it first when the list lacks it. Nothing is opened.
void ChooseDevice(QComboBox* combo, const QString& device);

/// The device an entry stands for: its text, or for an absent device its path alone.
QString DevicePathAt(const QComboBox* combo, int index);

/// The entries that stand for a device listed now (every entry but one marked absent).
QStringList ListedDevices(const QComboBox* combo);

/// A device's stable identity: the name of the /dev/serial/by-id link that leads to it
/// (a USB adapter keeps it when its ttyUSB number changes); empty when none does.
QString DeviceIdentity(const QString& path);

/// The operator's device, by path and identity.
struct TChosenDevice {
    QString Path;
    QString Identity;
};

/// Brings the list in line with the present devices and keeps choice selected: by path, or
/// by identity under a new path (choice then follows it); a chosen device that is absent
/// stays listed and selected, marked absent, and no other takes its place. True when the
/// chosen device is present.
bool MergeDeviceList(QComboBox* combo, const QStringList& present, TChosenDevice& choice);

} // namespace quillon::console
