#include "app/Shape.h"

#include <QPainter>

namespace quillon::console {

void TShape::SetBrushColor(const QColor& color) {
    if (color == FBrush) return;
    FBrush = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(FPen, PenWidth()));
    p.setBrush(FBrush);
    // The largest circle that fits, its pen inside the widget.
    const int d = std::min(width(), height()) - PenWidth();
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

} // namespace quillon::console
