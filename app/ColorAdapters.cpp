#include "app/ColorAdapters.h"

#include "app/Shape.h"

namespace quillon::console {

TWidgetControl::TWidgetControl(rtl::TComponent* AOwner, QWidget* widget)
    : TControl(AOwner), FWidget(widget) {}

void TWidgetControl::SetColor(rtl::TColor Value) {
    TControl::SetColor(Value);
    if (!FWidget) return;
    if (auto* shape = qobject_cast<TShape*>(FWidget.data())) {
        shape->SetBrushColor(ToQColor(Value));
        return;
    }
    QPalette pal = FWidget->palette();
    pal.setColor(FWidget->backgroundRole(), ToQColor(Value));
    FWidget->setPalette(pal);
    FWidget->setAutoFillBackground(true);
}

} // namespace quillon::console
