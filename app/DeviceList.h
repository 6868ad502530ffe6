#pragma once
// The port list's first-run help: whole entries in its drop-down, the chosen entry's path
// and friendly name as its tooltip, and a device chosen from the command line.
#include <QComboBox>
#include <QString>

namespace quillon::console {

/// Keeps the closed list at its layout size while its drop-down grows to the longest
/// entry, and gives each entry, and the list for the chosen one, its path and friendly
/// name as tooltip; follows the entries as they change.
void FitDeviceList(QComboBox* combo);

/// Chooses device as the operator would (a bare name is taken relative to /dev), adding
/// it first when the list lacks it. Nothing is opened.
void ChooseDevice(QComboBox* combo, const QString& device);

} // namespace quillon::console
