#pragma once
// The runtime's colours (0x00BBGGRR, red in the low byte) on Qt widgets.
#include "rtl/Control.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace quillon::console {

inline QColor ToQColor(rtl::TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

inline rtl::TColor FromQColor(const QColor& c) {
    return static_cast<rtl::TColor>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

/// A widget as an indicator's control: its colour is the shape's fill for a TShape, the
/// background for any other widget. The widget may go first; the control then paints
/// nothing.
class TWidgetControl : public rtl::TControl {
  public:
    TWidgetControl(rtl::TComponent* AOwner, QWidget* widget);
    void SetColor(rtl::TColor Value) override;
    QWidget* Widget() const { return FWidget; }

  private:
    QPointer<QWidget> FWidget;
};

} // namespace quillon::console
