// The port list at first run: whole entries in its drop-down, the chosen entry's path and
// friendly name as tooltip, and a device chosen as the command line asks.
#include "ConsoleTestSupport.h"
#include "app/DeviceList.h"
#include "platform/PortRegistry.h"
#include "tests/support/ScratchDir.h"

#include <QAbstractItemView>
#include <QStyle>
#include <QStyleFactory>
#include <filesystem>

namespace quillon::console::testing {
namespace {

using DeviceListTest = ConsoleTest;

TEST_F(DeviceListTest, DropDownShowsWholeEntriesAndTheTooltipNamesTheChosenOne) {
    namespace fs = std::filesystem;
    // A long by-id link to a real device, published with its friendly name.
    const quillon_test::TScratchDir dir("quillon-by-id");
    const std::string link = dir.PathOf("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink(board->DevicePath(), link);
    qwin::TPortRegistration published(link, "FT232R USB UART (FTDI, A50285BI)");

    QComboBox* combo = ui().ComboBoxDeviceName;
    // A style whose drop-down is as wide as the closed list unless told otherwise (Fusion
    // widens it by itself).
    std::unique_ptr<QStyle> windows(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_NE(windows, nullptr);
    combo->setStyle(windows.get());
    const int layoutWidth = combo->width();
    FitDeviceList(combo);
    combo->addItem(QString::fromStdString(link)); // a device that comes later
    combo->setCurrentIndex(1);

    // The friendly name as the enumeration gives it: the product, then the node's name.
    EXPECT_TRUE(combo->toolTip().startsWith(QString::fromStdString(link) +
                                            "\nFT232R USB UART (FTDI, A50285BI) ("))
        << combo->toolTip().toStdString();
    EXPECT_TRUE(
        combo->itemData(0, Qt::ToolTipRole)
            .toString()
            .startsWith(QString::fromStdString(board->DevicePath()) + "\nQuillon test board"));
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    EXPECT_GT(list->width(), list->fontMetrics().horizontalAdvance(QString::fromStdString(link)));
    EXPECT_EQ(combo->width(), layoutWidth) << "the closed list keeps the layout's size";
    combo->hidePopup();
    combo->setStyle(nullptr);
}

using DeviceChoiceTest = ConsoleTest;

TEST_F(DeviceChoiceTest, AChosenDeviceIsSelectedAddedWhenUnlistedAndNotOpened) {
    QComboBox* combo = ui().ComboBoxDeviceName;
    combo->addItem(QStringLiteral("/dev/ttyQ9")); // listed after the board
    ChooseDevice(combo, QStringLiteral("ttyQ9")); // a bare name, as for any opener
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "/dev/ttyQ9");
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\/dev/ttyQ9");

    ChooseDevice(combo, QStringLiteral("/dev/pts/unlisted"));
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentText(), "/dev/pts/unlisted");
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\/dev/pts/unlisted");
    EXPECT_FALSE(form->ComPort()->Active());
    EXPECT_EQ(ui().SpeedButtonOpenClose->text(), "Open");
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(DeviceChoiceTest, ARemotePortStaysChosenWhenTheListFollowsTheMachine) {
    QComboBox* combo = ui().ComboBoxDeviceName;
    const QString remote = QStringLiteral("rfc2217://localhost:2217");
    ChooseDevice(combo, remote);
    ASSERT_EQ(combo->currentText(), remote);
    // Any device coming or going refreshes the list from the enumeration, which has no
    // remote ports.
    form->ComPort()->OnDeviceArrival()(form->ComPort(), u"/dev/ttyUSB7");
    EXPECT_EQ(combo->currentText(), remote);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\rfc2217://localhost:2217");
    EXPECT_NE(combo->findText(QString::fromStdString(board->DevicePath())), -1);
}

} // namespace
} // namespace quillon::console::testing
