// What assistive technology reads from the terminal and Memo1, through Qt's accessibility
// API: their text, a line, the selection and the caret. (Qt delivers change notifications
// only to a platform bridge, which the offscreen platform has not.)
#include "ConsoleTestSupport.h"

#include <QAccessible>

namespace quillon::console::testing {
namespace {

using AccessibilityTest = ConsoleTest;

TEST_F(AccessibilityTest, BothPanesReadAsTheirContents) {
    OpenPort();
    Receive("first\r\nsecond line\rthird");
    ui().Memo1->AppendLines("23.50");
    ui().Memo1->AppendLines("23.5");

    for (TTerminalView* pane : {ui().Memo, ui().Memo1}) {
        SCOPED_TRACE(pane->objectName().toStdString());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(pane);
        ASSERT_NE(a, nullptr);
        QAccessibleTextInterface* text = a->textInterface();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(0, text->characterCount()), pane->Text());
        EXPECT_EQ(a->text(QAccessible::Value), pane->Text());
        EXPECT_TRUE(a->state().readOnly && a->state().multiLine);
        // The last line, from an offset inside it.
        int start = 0, end = 0;
        const QString last = pane->Text().section(QLatin1Char('\n'), -1);
        EXPECT_EQ(
            text->textAtOffset(text->characterCount() - 1, QAccessible::LineBoundary, &start, &end),
            last);
        // A selection made through the interface is the pane's, and the other way round.
        text->setSelection(0, 1, 4);
        EXPECT_EQ(pane->SelectedText(), pane->Text().mid(1, 3));
        pane->SelectAll();
        text->selection(0, &start, &end);
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(0, text->characterCount()));
        EXPECT_EQ(text->cursorPosition(), text->characterCount());
    }
}

} // namespace
} // namespace quillon::console::testing
