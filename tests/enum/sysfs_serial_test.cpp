// Which sysfs tty entries count as serial ports, in which order, and their friendly names.
#include "enum_fixture.h"
#include "platform/linux/SysfsSerial.h"

namespace {

using namespace enumtest;
using qwin::ReadSysfsSerialDevices;
using qwin::TSysfsSerialDevice;

const TSysfsSerialDevice* Find(const std::vector<TSysfsSerialDevice>& devices,
                               const std::string& name) {
    for (const auto& d : devices)
        if (d.Name == name) return &d;
    return nullptr;
}

TEST(SysfsSerial, KeepsDevicesWithHardwareInNameOrder) {
    const auto devices = ReadSysfsSerialDevices(DataTree("sysfs-desktop"));
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.Name);
    // Left out: consoles (no device), ttyS1-3 (type 0), ttyUSB1 (no node under dev/).
    // ttyUSB10 after ttyUSB2: digit runs compare as numbers.
    EXPECT_EQ(names,
              (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB2", "ttyUSB10"}));
}

TEST(SysfsSerial, LegacyUartNodesWithoutUartAreLeftOut) {
    EXPECT_TRUE(ReadSysfsSerialDevices(DataTree("sysfs-headless")).empty());
}

TEST(SysfsSerial, MissingTreeGivesNothing) {
    EXPECT_TRUE(ReadSysfsSerialDevices(DataTree("no-such-tree")).empty());
}

TEST(SysfsSerial, UsbAdapterDescribedByItsAttributes) {
    const auto devices = ReadSysfsSerialDevices(DataTree("sysfs-desktop"));
    const auto* ftdi = Find(devices, "ttyUSB0");
    ASSERT_NE(ftdi, nullptr);
    EXPECT_EQ(ftdi->DevicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ftdi->Bus, "usb-serial");
    EXPECT_EQ(ftdi->Driver, "ftdi_sio");
    EXPECT_EQ(ftdi->UsbDevice, "1-2");
    EXPECT_EQ(ftdi->VendorId, "0403");
    EXPECT_EQ(ftdi->ProductId, "6001");
    EXPECT_EQ(ftdi->InterfaceNumber, "00");
    EXPECT_EQ(ftdi->FriendlyName, "FT232R USB UART (FTDI, A50285BI) (ttyUSB0)");
}

TEST(SysfsSerial, FriendlyNamesOfEachKind) {
    const auto devices = ReadSysfsSerialDevices(DataTree("sysfs-desktop"));
    ASSERT_EQ(devices.size(), 5u);
    // CDC-ACM: the tty hangs off the interface, the USB device is one level up.
    EXPECT_EQ(Find(devices, "ttyACM0")->FriendlyName,
              "Pico (Raspberry Pi, E660D4A0A7123456) (ttyACM0)");
    EXPECT_EQ(Find(devices, "ttyACM0")->Driver, "cdc_acm");
    // An adapter that reports no strings is named by its ids.
    EXPECT_EQ(Find(devices, "ttyUSB2")->FriendlyName, "USB serial device 1a86:7523 (ttyUSB2)");
    // A device behind a hub.
    EXPECT_EQ(Find(devices, "ttyUSB10")->FriendlyName,
              "CP2102 USB to UART Bridge Controller (Silicon Labs, 0001) (ttyUSB10)");
    EXPECT_EQ(Find(devices, "ttyS0")->FriendlyName, "16550A serial port (ttyS0)");
    EXPECT_EQ(Find(devices, "ttyS0")->UartType, 4);
    EXPECT_TRUE(Find(devices, "ttyS0")->VendorId.empty());
}

TEST(SysfsSerial, FriendlyNameFallsBackToInterfaceThenGenericWords) {
    TSysfsSerialDevice d;
    d.DevicePath = "/dev/ttyUSB3";
    d.VendorId = "0403";
    d.ProductId = "6010";
    d.Interface = "Dual RS232-HS";
    d.Serial = "FT1";
    EXPECT_EQ(qwin::SerialFriendlyName(d), "Dual RS232-HS (FT1) (ttyUSB3)");

    TSysfsSerialDevice uart;
    uart.DevicePath = "/dev/ttyS5";
    uart.UartType = 99;
    EXPECT_EQ(qwin::SerialFriendlyName(uart), "Serial port (ttyS5)");
}

struct TNaturalRow {
    const char* A;
    const char* B;
    bool Less;
};

class NaturalOrder : public ::testing::TestWithParam<TNaturalRow> {};

TEST_P(NaturalOrder, ComparesDigitRunsAsNumbers) {
    const auto& row = GetParam();
    EXPECT_EQ(qwin::NaturalLess(row.A, row.B), row.Less) << row.A << " < " << row.B;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NaturalOrder,
    ::testing::Values(TNaturalRow{"ttyUSB2", "ttyUSB10", true},
                      TNaturalRow{"ttyUSB10", "ttyUSB2", false},
                      TNaturalRow{"ttyS9", "ttyUSB0", true}, TNaturalRow{"ttyS1", "ttyS1", false},
                      TNaturalRow{"ttyS1", "ttyS01", true}, TNaturalRow{"ttyS01", "ttyS1", false},
                      TNaturalRow{"tty", "tty0", true}, TNaturalRow{"ttyS1a", "ttyS1b", true}));

} // namespace
