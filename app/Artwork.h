#pragma once
// The console's own look, drawn rather than shipped: the window icon, Image1's picture of
// the instrument board, and the faces that stand in for the layout's.
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace quillon::console {

/// A thermometer over a serial plug, at the usual icon sizes.
QIcon ConsoleIcon();
/// The layout names Windows faces; where they are missing, common free faces of the same
/// widths stand in, so that the captions stay inside their controls.
void SubstituteLayoutFaces();
/// The instrument board seen from above: its circuit, the sensor, the LED and the SD card.
QPixmap BoardPicture(QSize size);

} // namespace quillon::console
