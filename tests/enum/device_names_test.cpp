// The device-name table: what it lists, its NUL-separated form and its failures.
#include "enum_fixture.h"
#include "platform/PortRegistry.h"

namespace {

using namespace enumtest;
using namespace qwin;

const std::vector<std::string> DesktopNodes = {
    "/dev/console", "/dev/null",    "/dev/ptmx",    "/dev/tty",      "/dev/tty0",
    "/dev/tty1",    "/dev/ttyACM0", "/dev/ttyS0",   "/dev/ttyS1",    "/dev/ttyS2",
    "/dev/ttyS3",   "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/zero"};

class DeviceNames : public TEnumTest {};

TEST_F(DeviceNames, EveryNodeOfDevThenRegisteredPorts) {
    // Directories (bus/, pts/, serial/) are not devices.
    EXPECT_EQ(ListDeviceNames(DataTree("sysfs-desktop")), DesktopNodes);

    TPty pty;
    TPortRegistration board(pty.SlavePath(), "Board");
    auto expected = DesktopNodes;
    expected.push_back(pty.SlavePath());
    EXPECT_EQ(ListDeviceNames(DataTree("sysfs-desktop")), expected);
}

TEST_F(DeviceNames, TableIsNulSeparatedWithOneMoreNul) {
    char16_t buffer[1024];
    const DWORD n = QueryDosDevice(nullptr, buffer, 1024);
    size_t expected = 1;
    for (const auto& name : DesktopNodes)
        expected += name.size() + 1;
    ASSERT_EQ(n, expected);
    EXPECT_EQ(std::u16string(buffer, 12), u"/dev/console");
    EXPECT_EQ(buffer[12], u'\0');
    EXPECT_EQ(buffer[n - 2], u'\0');
    EXPECT_EQ(buffer[n - 1], u'\0');
    EXPECT_EQ(std::u16string(buffer + n - 11, 9), u"/dev/zero");
}

TEST_F(DeviceNames, TableThatDoesNotFitFailsWhole) {
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    SetLastError(0);
    EXPECT_EQ(QueryDosDevice(nullptr, buffer, 64), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], u'x');
}

TEST_F(DeviceNames, NoBufferIsAnInvalidParameter) {
    SetLastError(0);
    EXPECT_EQ(QueryDosDevice(nullptr, nullptr, 100), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(DeviceNames, NamedQueryFollowsLinks) {
    char16_t buffer[256];
    const DWORD n = QueryDosDevice(
        u"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", buffer, 256);
    ASSERT_EQ(n, 14u);
    EXPECT_EQ(std::u16string(buffer), u"/dev/ttyUSB0");
    EXPECT_EQ(buffer[13], u'\0');
}

TEST_F(DeviceNames, NamedQueryOfAMissingDeviceFails) {
    char16_t buffer[256];
    SetLastError(0);
    EXPECT_EQ(QueryDosDevice(u"/dev/ttyUSB1", buffer, 256), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(0);
    EXPECT_EQ(QueryDosDevice(u"ttyUSB0", buffer, 256), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceNames, SerialPortsOfBothSources) {
    TPty pty;
    TPortRegistration board(pty.SlavePath(), "Quillon board");
    const auto ports = ListSerialPorts(DataTree("sysfs-desktop"));
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[2].DevicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[2].Enumerator, "USB");
    EXPECT_EQ(ports[2].DeviceId, "VID_0403&PID_6001&MI_00");
    EXPECT_EQ(ports[2].ParentDeviceId, "VID_0403&PID_6001");
    EXPECT_EQ(ports[2].ParentInstanceId, "A50285BI");
    // Without a serial number the USB device is known by its place on the bus.
    EXPECT_EQ(ports[3].ParentInstanceId, "1-5");
    EXPECT_EQ(ports[1].Enumerator, "PNP");
    EXPECT_EQ(ports[1].DeviceId, "SERIAL");
    EXPECT_EQ(ports[5].Source, TPortSource::Registered);
    EXPECT_EQ(ports[5].DevicePath, pty.SlavePath());
    EXPECT_EQ(ports[5].FriendlyName, "Quillon board (" + pty.SlavePath().substr(5) + ")");
}

} // namespace
