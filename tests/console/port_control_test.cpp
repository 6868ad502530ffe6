// Opening and closing the port, the byte totals, the terminal's clearing and the one box
// every port error gets, with its advice.
#include "ConsoleTestSupport.h"

#include <QTest>

namespace quillon::console::testing {
namespace {

using PortControlTest = ConsoleTest;

void ExpectPortDependentControls(Ui::Form2& ui, bool open) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui.Memo, ui.envoyertexte, ui.Button1, ui.envoyervaleur, ui.envoinom, ui.envoiparametre,
             ui.RadioButton6, ui.Button3, ui.Button4})
        EXPECT_EQ(w->isEnabled(), open) << w->objectName().toStdString();
    EXPECT_EQ(ui.ComboBoxDeviceName->isEnabled(), !open);
    EXPECT_EQ(ui.SpeedButtonOpenClose->text(), open ? "Close" : "Open");
}

// An error box's text: the system's part, then a blank line and the advice, if any.
QString SystemPart(const QString& text) {
    return text.section(QStringLiteral("\n\n"), 0, 0);
}
QString AdvicePart(const QString& text) {
    return text.section(QStringLiteral("\n\n"), 1);
}

TEST_F(PortControlTest, TwoClicksOpenThenCloseTwice) {
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
        ASSERT_TRUE(form->ComPort()->Active());
        ExpectPortDependentControls(ui(), true);
        EXPECT_EQ(form->focusWidget(), ui().Memo);
        QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
        ASSERT_FALSE(form->ComPort()->Active());
        ExpectPortDependentControls(ui(), false);
    }
    // The refresh leaves alone what it does not own.
    EXPECT_FALSE(ui().texte->isEnabled());
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(PortControlTest, TotalsCountEveryByteBothWays) {
    OpenPort();
    Receive("1234567");
    EXPECT_EQ(form->ReadBytesTotal(), 7);
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 7");
    ui().parametre->setText("abc");
    QTest::mouseClick(ui().envoiparametre, Qt::LeftButton);
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 3");
    // Closing and opening again keeps the totals.
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 7");
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 3");
}

TEST_F(PortControlTest, TotalsAreNotLimitedTo32Bits) {
    form->AddReadBytes(INT32_MAX);
    form->AddReadBytes(INT32_MAX);
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 4294967294");
}

TEST_F(PortControlTest, EffacerEmptiesTheTerminalAndKeepsTheTotals) {
    OpenPort();
    Receive("hello\r\nboard");
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    ASSERT_EQ(ui().Memo->Text(), "hello\nboard");
    QTest::mouseClick(ui().effacer, Qt::LeftButton);
    EXPECT_EQ(ui().Memo->Text(), "");
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 12");
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 1");
}

TEST_F(PortControlTest, OpeningAMissingDeviceShowsOneBoxAndChangesNothing) {
    form->ComPort()->SetDeviceName(u"/dev/quillon-no-such-device");
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    EXPECT_FALSE(form->ComPort()->Active());
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Kind, IDialogs::bkError);
    // The system's words stay exactly as they are; the advice follows after a blank line.
    EXPECT_EQ(SystemPart(dialogs.Boxes[0].Text), "Error 2: No such file or directory");
    EXPECT_TRUE(AdvicePart(dialogs.Boxes[0].Text)
                    .startsWith("Le périphérique « /dev/quillon-no-such-device » n'existe pas"))
        << dialogs.Boxes[0].Text.toStdString();
    ExpectPortDependentControls(ui(), false);
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 0");
}

TEST_F(PortControlTest, DeviceHeldByAnotherPortGivesTheSystemsReason) {
    OpenPort();
    TTestForm2 other(dialogs, rtl::TFormatSettings::FromLocale("C"));
    other.show();
    QTest::mouseClick(other.Form().SpeedButtonOpenClose, Qt::LeftButton);
    EXPECT_FALSE(other.ComPort()->Active());
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(SystemPart(dialogs.Boxes[0].Text),
              QString("Error %1: %2")
                  .arg(EBUSY)
                  .arg(QString::fromStdString(rtl::SysErrorMessage(EBUSY))));
    EXPECT_TRUE(
        AdvicePart(dialogs.Boxes[0].Text)
            .startsWith(QString::fromStdString("Le port « " + board->DevicePath() +
                                               " » est déjà ouvert par un autre programme")))
        << dialogs.Boxes[0].Text.toStdString();
    EXPECT_TRUE(form->ComPort()->Active());
}

TEST_F(PortControlTest, DeviceVanishingWhileOpenSaysSoAndClosesThePort) {
    OpenPort();
    const std::string path = board->DevicePath();
    board.reset(); // the board's end hangs up: the console's end reads EIO from now on
    ASSERT_TRUE(WaitFor([&] { return !form->ComPort()->Active(); }));
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Texts().join(" | ").toStdString();
    EXPECT_EQ(SystemPart(dialogs.Boxes[0].Text),
              QString("Error 5: ") + QString::fromStdString(rtl::SysErrorMessage(EIO)));
    EXPECT_TRUE(
        AdvicePart(dialogs.Boxes[0].Text)
            .startsWith(QString::fromStdString("La liaison avec « " + path + " » est perdue")))
        << dialogs.Boxes[0].Text.toStdString();
    ExpectPortDependentControls(ui(), false);
}

} // namespace
} // namespace quillon::console::testing
