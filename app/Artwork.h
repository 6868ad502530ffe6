#pragma once
// The console's own pictures, drawn rather than shipped: the window icon and Image1's
// picture of the instrument board.
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace quillon::console {

/// A thermometer over a serial plug, at the usual icon sizes.
QIcon ConsoleIcon();
/// The instrument board seen from above: its circuit, the sensor, the LED and the SD card.
QPixmap BoardPicture(QSize size);

} // namespace quillon::console
