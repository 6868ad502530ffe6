// Colours of the runtime on Qt widgets: the value layout, Shape1's painting, and an
// indicator lighting a widget through the control adapter.
#include "ConsoleTestSupport.h"
#include "app/ColorAdapters.h"
#include "app/Shape.h"

#include <QImage>
#include <QTest>
#include <chrono>

namespace quillon::console::testing {
namespace {

using namespace std::chrono_literals;

TEST(ColorAdapters, RedIsTheLowByte) {
    EXPECT_EQ(ToQColor(rtl::clRed), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(rtl::clYellow), QColor(255, 255, 0)); // 0x00FFFF is not cyan
    EXPECT_EQ(ToQColor(rtl::clMaroon), QColor(128, 0, 0));
    EXPECT_EQ(ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56)), 0x563412);
}

TEST(Shape, PaintsACircleFilledWithItsBrush) {
    TShape shape;
    shape.resize(137, 113);
    shape.SetBrushColor(QColor(255, 255, 0));
    const QImage image = shape.grab().toImage();
    EXPECT_EQ(image.pixelColor(68, 56), QColor(255, 255, 0));
    EXPECT_NE(image.pixelColor(2, 2), QColor(255, 255, 0)); // outside the circle
    // The pen: dark pixels on the circle's left edge, where it meets the widget's middle row.
    const int left = (137 - 110) / 2 + 1;
    EXPECT_LT(image.pixelColor(left, 56).lightness(), 100);
}

TEST(Shape, WidgetControlFillsShapesAndPaintsOtherWidgets) {
    rtl::TComponent owner(nullptr);
    TShape shape;
    QWidget panel;
    auto* onShape = new TWidgetControl(&owner, &shape);
    auto* onPanel = new TWidgetControl(&owner, &panel);
    onShape->SetColor(rtl::clRed);
    onPanel->SetColor(rtl::clGreen);
    EXPECT_EQ(shape.BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(panel.palette().color(panel.backgroundRole()), QColor(0, 128, 0));
    EXPECT_EQ(onShape->Color(), rtl::clRed);
}

using IndicatorTest = ConsoleTest;

TEST_F(IndicatorTest, ReceiveIndicatorLightsItsWidgetAndTheWindowStillReceives) {
    TShape lamp;
    auto* control = new TWidgetControl(&form->Components(), &lamp);
    form->ComSignalRX()->SetControl(control);
    EXPECT_EQ(lamp.BrushColor(), ToQColor(rtl::clMaroon));
    OpenPort();
    Receive("hello");
    EXPECT_EQ(lamp.BrushColor(), ToQColor(rtl::clRed));
    EXPECT_EQ(ui().Memo->Text(), "hello");
    Loop().Advance(100ms);
    EXPECT_EQ(lamp.BrushColor(), ToQColor(rtl::clMaroon));
    form->ComSignalRX()->SetControl(nullptr);
}

} // namespace
} // namespace quillon::console::testing
