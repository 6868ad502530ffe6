// Commands to the board, the source choice, and polling with the port closed.
#include "ConsoleTestSupport.h"

#include <QTest>
#include <chrono>

namespace quillon::console::testing {
namespace {

using namespace std::chrono_literals;

class CommandsTest : public ConsoleTest {
  protected:
    /// Everything the console wrote up to a marker sent through the parameter field: what
    /// comes before it is exactly what the earlier commands wrote.
    std::string WrittenBeforeMarker() {
        ui().parametre->setText("#");
        QTest::mouseClick(ui().envoiparametre, Qt::LeftButton);
        std::string out = board->ReadUntil("#");
        out.pop_back();
        return out;
    }
};

TEST_F(CommandsTest, TemperatureRequestWritesOneW) {
    OpenPort();
    ui().test2->setText("old");
    ui().longueurmot2->setText("9");
    ui().Memo1->AppendLines("old");
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    EXPECT_EQ(WrittenBeforeMarker(), "w");
    EXPECT_EQ(form->WrittenBytesTotal(), 2);
    EXPECT_EQ(ui().test->text(), "Demande température");
    EXPECT_EQ(ui().test2->text(), "");
    EXPECT_EQ(ui().longueurmot2->text(), "");
    EXPECT_EQ(ui().Memo1->Text(), "");
}

TEST_F(CommandsTest, ChosenValueIsSentAfterC) {
    OpenPort();
    ChooseItem(ui().listeid1, 41);
    EXPECT_EQ(ui().Edit2->text(), "42");
    QTest::mouseClick(ui().Button4, Qt::LeftButton);
    EXPECT_EQ(WrittenBeforeMarker(), "c42");
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 4");
}

TEST_F(CommandsTest, ValueButtonBeforeAnyChoiceSendsC) {
    OpenPort();
    QTest::mouseClick(ui().Button4, Qt::LeftButton);
    EXPECT_EQ(WrittenBeforeMarker(), "c");
}

TEST_F(CommandsTest, ParameterIsSentAsLatin1) {
    OpenPort();
    ui().parametre->setText(QString::fromUtf8("é€😀x"));
    QTest::mouseClick(ui().envoiparametre, Qt::LeftButton);
    EXPECT_EQ(WrittenBeforeMarker(), "\xE9??x");
    EXPECT_EQ(form->WrittenBytesTotal(), 5);
}

TEST_F(CommandsTest, EmptyParameterWritesNothingAndCountsZero) {
    OpenPort();
    QTest::mouseClick(ui().envoiparametre, Qt::LeftButton);
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 0");
    EXPECT_EQ(WrittenBeforeMarker(), "");
}

TEST_F(CommandsTest, ControlsWithoutActionSendNothing) {
    OpenPort();
    ChooseItem(ui().listeid, 6);
    EXPECT_EQ(ui().texte->text(), "7");
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             ui().envoyertexte, ui().envoyervaleur, ui().Button1, ui().info, ui().envoinom})
        QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(WrittenBeforeMarker(), "");
    EXPECT_EQ(form->WrittenBytesTotal(), 1);
}

TEST_F(CommandsTest, SourceChoiceSwapsTheTwoButtons) {
    OpenPort();
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button3->isEnabled());
    QTest::mouseClick(ui().RadioButton6, Qt::LeftButton);
    EXPECT_FALSE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button3->isEnabled());
    QTest::mouseClick(ui().RadioButton5, Qt::LeftButton);
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_FALSE(ui().Button3->isEnabled());
}

class ClosedPortPollingTest : public CommandsTest {
  protected:
    /// Polling started by a wrong reading on the open port.
    void StartPolling() {
        OpenPort();
        QTest::mouseClick(ui().RadioButton6, Qt::LeftButton);
        QTest::mouseClick(ui().Button3, Qt::LeftButton);
        Receive("w1f");
        Loop().Advance(2000ms);
        ASSERT_TRUE(Timer1Enabled());
    }
};

TEST_F(ClosedPortPollingTest, ClosingOrLosingThePortStopsPollingAndNoBoxFollows) {
    StartPolling();
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    ASSERT_FALSE(form->ComPort()->Active());
    EXPECT_FALSE(Timer1Enabled());
    Loop().Advance(30000ms);
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(" | ").toStdString();
    EXPECT_EQ(form->WrittenBytesTotal(), 1);

    OpenPort();
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    Receive("w1f");
    Loop().Advance(2000ms);
    ASSERT_TRUE(Timer1Enabled());
    board.reset(); // the device goes: the port closes itself after its box
    ASSERT_TRUE(WaitFor([&] { return !form->ComPort()->Active(); }));
    EXPECT_FALSE(Timer1Enabled());
    Loop().Advance(30000ms);
    EXPECT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Texts().join(" | ").toStdString();
}

TEST_F(ClosedPortPollingTest, APauseEndingAfterTheCloseShowsTheCountButStartsNoPolling) {
    OpenPort();
    QTest::mouseClick(ui().RadioButton6, Qt::LeftButton);
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    Receive("w1f");
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    Loop().Advance(2000ms);
    EXPECT_EQ(ui().test->text(), "Erreur1");
    EXPECT_FALSE(Timer1Enabled());
    Loop().Advance(30000ms);
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(" | ").toStdString();
}

} // namespace
} // namespace quillon::console::testing
