#include "app/Artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace quillon::console {

namespace {

QPixmap IconPixmap(int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 64.0, side / 64.0);
    // A rounded tile, a thermometer and the stub of a serial plug.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0x5F, 0xBF));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(26, 8, 12, 34), 6, 6);
    p.drawEllipse(QPointF(32, 44), 10, 10);
    p.setBrush(QColor(0xD0, 0x20, 0x20));
    p.drawRect(QRectF(29.5, 22, 5, 20));
    p.drawEllipse(QPointF(32, 44), 7, 7);
    p.setBrush(QColor(0xF0, 0xC0, 0x30));
    p.drawRect(QRectF(44, 50, 12, 6));
    return pm;
}

} // namespace

QIcon ConsoleIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(IconPixmap(side));
    return icon;
}

QPixmap BoardPicture(QSize size) {
    QPixmap pm(size);
    pm.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / 160.0, size.height() / 150.0);

    // The board with its mounting holes.
    p.setPen(QPen(QColor(0x0B, 0x4D, 0x2A), 2));
    p.setBrush(QColor(0x17, 0x7A, 0x45));
    p.drawRoundedRect(QRectF(8, 10, 144, 130), 8, 8);
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    for (QPointF hole : {QPointF(18, 20), QPointF(142, 20), QPointF(18, 130), QPointF(142, 130)})
        p.drawEllipse(hole, 4, 4);

    // Copper tracks.
    p.setPen(QPen(QColor(0xC8, 0x9B, 0x3C), 2));
    p.drawPolyline(QPolygonF({QPointF(40, 62), QPointF(40, 40), QPointF(100, 40)}));
    p.drawPolyline(QPolygonF({QPointF(80, 85), QPointF(120, 85), QPointF(120, 60)}));
    p.drawLine(QPointF(60, 100), QPointF(60, 118));

    // The microcontroller with its pins.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    for (int i = 0; i < 6; ++i) {
        p.drawRect(QRectF(52 + i * 6, 58, 3, 5));
        p.drawRect(QRectF(52 + i * 6, 97, 3, 5));
    }
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRoundedRect(QRectF(48, 62, 40, 36), 2, 2);

    // The temperature sensor, the LED and the SD card slot.
    p.setBrush(QColor(0x30, 0x30, 0x30));
    p.drawRoundedRect(QRectF(104, 30, 14, 20), 3, 3);
    p.setBrush(QColor(0xFF, 0xE0, 0x40));
    p.setPen(QPen(QColor(0x80, 0x70, 0x10), 1));
    p.drawEllipse(QPointF(126, 108), 7, 7);
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.setBrush(QColor(0xC0, 0xC8, 0xD0));
    p.drawRect(QRectF(20, 108, 30, 24));
    p.setBrush(QColor(0x1F, 0x5F, 0xBF));
    p.drawRect(QRectF(24, 112, 22, 16));

    // The USB serial connector on the edge.
    p.setBrush(QColor(0xD8, 0xD8, 0xD8));
    p.drawRect(QRectF(2, 66, 16, 22));
    return pm;
}

void SubstituteLayoutFaces() {
    QFont::insertSubstitutions(
        QStringLiteral("Tahoma"),
        {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"),
                                                         QStringLiteral("DejaVu Sans Condensed")});
    QFont::insertSubstitutions(QStringLiteral("Terminal"), {QStringLiteral("DejaVu Sans Mono"),
                                                            QStringLiteral("Liberation Mono")});
}

} // namespace quillon::console
