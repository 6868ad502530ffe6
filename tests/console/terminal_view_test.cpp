// The terminal pane on its own: long lines without line ends, selection and copying.
#include "app/TerminalView.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace quillon::console {
namespace {

class TerminalViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(644, 333);
        view.show();
    }
    TTerminalView view;
};

TEST_F(TerminalViewTest, LongLineWithoutLineEndKeepsEveryCharacter) {
    QString sent;
    for (int chunk = 0; chunk < 256; ++chunk) {
        QString piece(1024, QChar(u'a' + chunk % 26));
        view.AppendText(piece);
        sent += piece;
    }
    EXPECT_EQ(view.LineCount(), 1);
    EXPECT_EQ(view.Text(), sent);
    // Broken for display at the pane's width: every character has a place on screen.
    EXPECT_EQ(view.RowCount(), (sent.size() + view.Columns() - 1) / view.Columns());
    EXPECT_GT(view.Columns(), 20);
}

TEST_F(TerminalViewTest, FollowsTheEndOnlyWhenShowingIt) {
    for (int i = 0; i < 100; ++i)
        view.AppendText(QString("line %1\n").arg(i));
    QScrollBar* bar = view.verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(10);
    view.AppendText("more\n");
    EXPECT_EQ(bar->value(), 10);
}

TEST_F(TerminalViewTest, SelectionByMouseCopiesTheExactText) {
    view.AppendText(QString(view.Columns() + 5, 'x') + "yz\nsecond line");
    // Drag from the first row's start to the middle of the last line's row.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(2 + 3.0 * view.Columns(), 200), QPointF(),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    ASSERT_TRUE(view.HasSelection());
    EXPECT_EQ(view.SelectedText(), QString(view.Columns() + 5, 'x') + "yz\nsecond line");
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), view.SelectedText());
}

TEST_F(TerminalViewTest, ControlCharactersAreKeptAndClearEmpties) {
    view.AppendText(QString::fromUtf16(u"a\0b\tc", 5));
    EXPECT_EQ(view.Text(), QString::fromUtf16(u"a\0b\tc", 5));
    view.SelectAll();
    view.Clear();
    EXPECT_EQ(view.Text(), "");
    EXPECT_FALSE(view.HasSelection());
    EXPECT_EQ(view.LineCount(), 1);
}

} // namespace
} // namespace quillon::console
