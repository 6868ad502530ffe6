// Kernel uevents as the monitor reads them, and which of them become notifications.
#include "platform/DeviceNotify.h"
#include "platform/linux/DeviceUevent.h"

#include <gtest/gtest.h>

namespace {

using namespace qwin;
using namespace std::string_literals;

std::optional<TDeviceChange> Change(const std::string& datagram) {
    auto event = ParseUevent(datagram.data(), datagram.size());
    return event ? DeviceChangeFromUevent(*event) : std::nullopt;
}

const std::string UsbTtyAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0"
    "SUBSYSTEM=tty\0MAJOR=188\0MINOR=0\0DEVNAME=ttyUSB0\0SEQNUM=4711\0"s;

TEST(Uevent, ParsesTheKernelsFields) {
    auto event = ParseUevent(UsbTtyAdd.data(), UsbTtyAdd.size());
    ASSERT_TRUE(event);
    EXPECT_EQ(event->Action, "add");
    EXPECT_EQ(event->Subsystem, "tty");
    EXPECT_EQ(event->DevName, "ttyUSB0");
    EXPECT_EQ(event->DevPath,
              "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
}

TEST(Uevent, TtyAddAndRemoveArePorts) {
    auto added = Change(UsbTtyAdd);
    ASSERT_TRUE(added);
    EXPECT_TRUE(added->Arrival);
    EXPECT_EQ(added->DeviceType, DBT_DEVTYP_PORT);
    EXPECT_EQ(added->Name, "/dev/ttyUSB0");

    auto removed = Change("remove@/devices/pnp0/00:05/tty/ttyS0\0ACTION=remove\0"
                          "DEVPATH=/devices/pnp0/00:05/tty/ttyS0\0SUBSYSTEM=tty\0"
                          "DEVNAME=ttyS0\0"s);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->Arrival);
    EXPECT_EQ(removed->Name, "/dev/ttyS0");
}

TEST(Uevent, UsbDevicesAreInterfacesNamedByTheirNode) {
    auto added = Change("add@/devices/pci0000:00/0000:00:14.0/usb1/1-2\0ACTION=add\0"
                        "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2\0SUBSYSTEM=usb\0"
                        "DEVNAME=bus/usb/001/004\0DEVTYPE=usb_device\0PRODUCT=403/6001/600\0"s);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->DeviceType, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(added->Name, "/dev/bus/usb/001/004");

    // Without a node name the sysfs path names it.
    auto removed = Change("remove@/devices/x/usb1/1-2\0ACTION=remove\0"
                          "SUBSYSTEM=usb\0DEVTYPE=usb_device\0"s);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->Arrival);
    EXPECT_EQ(removed->Name, "/sys/devices/x/usb1/1-2");
}

TEST(Uevent, OtherEventsReportNothing) {
    // A USB interface, a change, a bind, a tty without a node, another subsystem.
    EXPECT_FALSE(Change("add@/d/1-2:1.0\0ACTION=add\0SUBSYSTEM=usb\0DEVTYPE=usb_interface\0"s));
    EXPECT_FALSE(Change("change@/d/tty/ttyS0\0ACTION=change\0SUBSYSTEM=tty\0DEVNAME=ttyS0\0"s));
    EXPECT_FALSE(Change("bind@/d/1-2\0ACTION=bind\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0"s));
    EXPECT_FALSE(Change("add@/d/tty/x\0ACTION=add\0SUBSYSTEM=tty\0"s));
    EXPECT_FALSE(Change("add@/d/sda\0ACTION=add\0SUBSYSTEM=block\0DEVNAME=sda\0"s));
}

TEST(Uevent, OnlyKernelDatagramsParse) {
    const std::string udev = "libudev\0\xfe\xed\xca\xfe"s;
    EXPECT_FALSE(ParseUevent(udev.data(), udev.size()));
    EXPECT_FALSE(ParseUevent("hello", 5));
    EXPECT_FALSE(ParseUevent("", 0));
    EXPECT_FALSE(ParseUevent("add@", 4));
    EXPECT_FALSE(ParseUevent("@/devices/x", 11));
}

TEST(Uevent, HeaderAloneStillGivesActionAndPath) {
    auto event = ParseUevent("remove@/devices/x", 17);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->Action, "remove");
    EXPECT_EQ(event->DevPath, "/devices/x");
    EXPECT_FALSE(DeviceChangeFromUevent(*event));
}

} // namespace
