// What the board sends: the terminal, the value field, the LED state, and the window's
// wiring of the temperature dialogue (its rules are tested as tables, without widgets).
#include "ConsoleTestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <chrono>

namespace quillon::console::testing {
namespace {

using namespace std::chrono_literals;

class ReceptionTest : public ConsoleTest {
  protected:
    /// Port open, link mode chosen, one request sent.
    void StartLinkMode() {
        OpenPort();
        QTest::mouseClick(ui().RadioButton6, Qt::LeftButton);
        ASSERT_TRUE(ui().RadioButton6->isChecked());
        QTest::mouseClick(ui().Button3, Qt::LeftButton);
        ASSERT_EQ(board->ReadUntil("w"), "w");
    }
    QStringList Memo1Lines() { return LinesOf(ui().Memo1->Text()); }
};

TEST_F(ReceptionTest, WholeGoodReading) {
    StartLinkMode();
    QSignalSpy progress(ui().test2, &QLineEdit::textChanged);
    Receive("w23.50f");
    EXPECT_EQ(ui().test2->text(), "Bonne valeur");
    EXPECT_EQ(ui().test->text(), "23.50");
    EXPECT_EQ(ui().longueurmot2->text(), "5");
    EXPECT_EQ(Memo1Lines(), QStringList({"23.50"}));
    EXPECT_FALSE(Timer1Enabled());
    EXPECT_EQ(ui().Memo->Text(), "");
    EXPECT_EQ(ui().valeur->text(), "w23.50f");
    QStringList steps;
    for (const auto& args : progress)
        steps << args.at(0).toString();
    EXPECT_EQ(steps,
              QStringList({"début lecture", "début tepérature", "fin lecture", "Bonne valeur"}));
}

TEST_F(ReceptionTest, ShortReadingShowsTheErrorAfterThePauseAndPolls) {
    StartLinkMode();
    Receive("w23.5f");
    EXPECT_EQ(Memo1Lines(), QStringList({"23.5", "23.5"}));
    // The pause does not block the window, but its step waits for the pause to end.
    EXPECT_EQ(ui().test->text(), "23.5");
    Loop().Advance(1999ms);
    EXPECT_EQ(ui().test->text(), "23.5");
    EXPECT_FALSE(Timer1Enabled());
    Loop().Advance(1ms);
    EXPECT_EQ(ui().test->text(), "Erreur1");
    EXPECT_TRUE(Timer1Enabled());

    // Every 10 s the request goes again, until a good reading.
    Loop().Advance(10000ms);
    EXPECT_EQ(board->ReadUntil("w"), "w");
    EXPECT_EQ(ui().test->text(), "Demande température");
    Receive("w21.00f");
    EXPECT_FALSE(Timer1Enabled());
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(ReceptionTest, WindowKeepsWorkingDuringThePause) {
    StartLinkMode();
    QTest::mouseClick(ui().led1, Qt::LeftButton);
    Receive("w23.5f");
    Receive("x1");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(255, 255, 0));
    EXPECT_EQ(ui().test->text(), "23.5");
}

TEST_F(ReceptionTest, FileSourceShowsEverythingAndScansNothing) {
    OpenPort();
    Receive("w23.5f");
    EXPECT_EQ(ui().Memo->Text(), "w23.5f");
    EXPECT_EQ(ui().test2->text(), "");
    EXPECT_EQ(ui().Memo1->Text(), "");
    Loop().Advance(2000ms);
    EXPECT_FALSE(Timer1Enabled());
}

TEST_F(ReceptionTest, ReceivedTextGoesToTheEndNotToTheSelection) {
    OpenPort();
    Receive("first line\nsecond");
    ui().Memo->Select(0, 0, 0, 5);
    Receive(" end");
    EXPECT_EQ(ui().Memo->Text(), "first line\nsecond end");
    EXPECT_EQ(ui().Memo->SelectedText(), "first");
}

TEST_F(ReceptionTest, BytesAboveAsciiAreLatin1AndZeroEndsTheValueField) {
    OpenPort();
    Receive(std::string_view("\xE9t\xE9\0x", 5));
    EXPECT_EQ(ui().valeur->text(), "été");
    EXPECT_EQ(ui().Memo->Text(), QString::fromUtf16(u"été\0x", 5));
    EXPECT_EQ(form->ReadBytesTotal(), 5);
}

TEST_F(ReceptionTest, LedFollowsTheSecondByteWhileLed1IsChecked) {
    OpenPort();
    Receive("x1");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(Qt::white)); // led2 checked: nothing
    QTest::mouseClick(ui().led1, Qt::LeftButton);
    Receive("x1");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(255, 255, 0));
    Receive("1");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(255, 255, 0));
    Receive("x0");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(Qt::white));
    Receive("L1");
    QTest::mouseClick(ui().led2, Qt::LeftButton);
    Receive("x0");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(255, 255, 0));
}

} // namespace
} // namespace quillon::console::testing
