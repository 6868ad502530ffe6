// The port settings dialog over a device control block, alone and behind "Config ...".
#include "ConsoleTestSupport.h"
#include "app/PortSettingsDialog.h"
#include "platform/linux/tty/TermiosIo.h"
#include "tests/support/ClassicRate.h"
#include "ui_PortSettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace quillon::console::testing {
namespace {

qwin::DCB SampleDCB() {
    qwin::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.Parity = qwin::EVENPARITY;
    dcb.StopBits = qwin::TWOSTOPBITS;
    dcb.fDtrControl = qwin::DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = qwin::RTS_CONTROL_TOGGLE;
    dcb.fOutX = 1;
    dcb.XonChar = 17;
    dcb.fOutxCtsFlow = 1;
    return dcb;
}

TEST(PortSettingsDialog, ShowsAndReturnsEverySetting) {
    TPortSettingsDialog dialog("/dev/ttyUSB0");
    dialog.SetDCB(SampleDCB());
    auto& f = dialog.Form();
    EXPECT_EQ(f.BaudRate->currentText(), "19200");
    EXPECT_EQ(f.DataBits->currentText(), "7");
    EXPECT_EQ(f.Parity->currentText(), "Paire");
    EXPECT_EQ(f.StopBits->currentText(), "2");
    EXPECT_EQ(f.DtrControl->currentText(), "Négociation");
    EXPECT_EQ(f.RtsControl->currentText(), "Bascule");
    EXPECT_EQ(f.XonXoff->currentText(), "Sortie");
    const qwin::DCB back = dialog.DCB();
    const qwin::DCB sample = SampleDCB();
    EXPECT_EQ(std::memcmp(&back, &sample, sizeof back), 0);
}

TEST(PortSettingsDialog, EditedFieldsGoIntoTheBlockAndTheRestStays) {
    TPortSettingsDialog dialog("p");
    dialog.SetDCB(SampleDCB());
    auto& f = dialog.Form();
    f.BaudRate->setEditText("250000");
    f.Parity->setCurrentIndex(0);
    f.XonXoff->setCurrentIndex(3);
    const qwin::DCB dcb = dialog.DCB();
    EXPECT_EQ(dcb.BaudRate, 250000u);
    EXPECT_EQ(dcb.Parity, qwin::NOPARITY);
    EXPECT_EQ(dcb.fInX, 1u);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.XonChar, 17);
}

TEST(PortSettingsDialog, ValueTheListLacksIsShownAndKept) {
    qwin::DCB dcb = SampleDCB();
    dcb.ByteSize = 4;
    TPortSettingsDialog dialog("p");
    dialog.SetDCB(dcb);
    EXPECT_EQ(dialog.Form().DataBits->currentText(), "4");
    EXPECT_EQ(dialog.DCB().ByteSize, 4);
}

TEST(PortSettingsDialog, BadRateIsRefusedWithAReasonAndKept) {
    for (const char* bad : {"abc", "0", "-9600", "", "99999999999"}) {
        TPortSettingsDialog dialog("p");
        dialog.SetDCB(SampleDCB());
        dialog.Form().BaudRate->setEditText(bad);
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
        EXPECT_TRUE(dialog.ErrorText().contains("Débit invalide")) << bad;
        EXPECT_EQ(dialog.Form().BaudRate->currentText(), bad);
        dialog.Form().BaudRate->setEditText("9600");
        EXPECT_EQ(dialog.ErrorText(), "");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
}

using ConfigButtonTest = ConsoleTest;

/// Answers the next modal dialog once it is up: sets the rate, then presses button.
void AnswerNextDialog(const QString& rate, QDialogButtonBox::StandardButton button) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<TPortSettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->Form().BaudRate->setEditText(rate);
        QTest::mouseClick(dialog->Form().ButtonBox->button(button), Qt::LeftButton);
    });
}

TEST_F(ConfigButtonTest, ConfigShowsTheDialogAndTheChoiceReachesThePort) {
    AnswerNextDialog("250000", QDialogButtonBox::Ok);
    QTest::mouseClick(ui().SpeedButtonConfig, Qt::LeftButton);
    EXPECT_EQ(form->ComPort()->BaudRate(), brCustom);
    EXPECT_EQ(form->ComPort()->CustomBaudRate(), 250000);
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(ConfigButtonTest, RatesChosenOnAnOpenPortAreWhatOtherProgramsRead) {
    OpenPort();
    AnswerNextDialog("115200", QDialogButtonBox::Ok);
    QTest::mouseClick(ui().SpeedButtonConfig, Qt::LeftButton);
    const quillon_test::ClassicRate seen = quillon_test::ClassicRateOf(board->Slave());
    EXPECT_EQ(seen.stty, "speed 115200 baud");
    EXPECT_EQ(seen.code, B115200);

    AnswerNextDialog("250000", QDialogButtonBox::Ok);
    QTest::mouseClick(ui().SpeedButtonConfig, Qt::LeftButton);
    qwin::posix::TtyImage exact;
    ASSERT_EQ(qwin::posix::ReadTty(board->Slave(), exact), 0);
    EXPECT_EQ(exact.ospeed, 250000u);
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(ConfigButtonTest, CancelChangesNothing) {
    const TBaudRate before = form->ComPort()->BaudRate();
    AnswerNextDialog("1200", QDialogButtonBox::Cancel);
    QTest::mouseClick(ui().SpeedButtonConfig, Qt::LeftButton);
    EXPECT_EQ(form->ComPort()->BaudRate(), before);
}

} // namespace
} // namespace quillon::console::testing
