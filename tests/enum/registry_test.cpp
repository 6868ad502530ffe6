// The registry facade: the keys the serial sources fill, and the wrapper's own rules.
#include "enum_fixture.h"
#include "platform/Registry.h"

namespace {

using namespace enumtest;
using namespace qwin;

class Registry : public TEnumTest {};

TEST_F(Registry, DeviceTreeHasPortsAndTheirUsbDevices) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"\\SYSTEM\\CurrentControlSet\\Enum"));
    rtl::TStringList keys;
    reg.GetKeyNames(keys);
    EXPECT_EQ(Utf8(keys), (std::vector<std::string>{"USB", "PNP"}));

    ASSERT_TRUE(reg.OpenKeyReadOnly(
        u"\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0403&PID_6001\\A50285BI"));
    EXPECT_EQ(reg.ReadString(u"ClassGUID"), GUID_DEVCLASS_USB_TEXT);
    EXPECT_EQ(reg.ReadString(u"FriendlyName"), u"FT232R USB UART");

    ASSERT_TRUE(reg.OpenKeyReadOnly(
        u"\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0403&PID_6001&MI_00\\ttyUSB0"));
    EXPECT_EQ(reg.ReadString(u"ClassGUID"), GUID_DEVCLASS_PORTS_TEXT);
    EXPECT_EQ(reg.ReadString(u"FriendlyName"), u"FT232R USB UART (FTDI, A50285BI) (ttyUSB0)");
    EXPECT_EQ(reg.ReadString(u"PortName"), u"/dev/ttyUSB0");
}

TEST_F(Registry, NamesIgnoreCaseAndRelativeKeysStartAtTheCurrentOne) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"\\system\\currentcontrolset\\enum\\pnp"));
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"SERIAL\\ttyS0"));
    EXPECT_EQ(reg.ReadString(u"friendlyname"), u"16550A serial port (ttyS0)");
}

TEST_F(Registry, MissingKeyFailsAndKeepsTheCurrentKey) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    EXPECT_FALSE(reg.OpenKeyReadOnly(u"\\HARDWARE\\DEVICEMAP\\PARALLEL PORTS"));
    EXPECT_EQ(reg.ReadString(u"\\Device\\ttyS0"), u"/dev/ttyS0");
}

TEST_F(Registry, OnlyTheMachineRootHasKeysAndOnlyForReading) {
    TRegistry reg(KEY_READ);
    EXPECT_FALSE(reg.OpenKeyReadOnly(u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenKeyReadOnly(u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    constexpr DWORD KEY_WRITE = 0x20006;
    EXPECT_THROW(TRegistry writable(KEY_WRITE), ERegistryException);
}

TEST_F(Registry, ValuesOfOtherTypes) {
    SetRegistrySource([] {
        TRegKey machine;
        TRegKey& key = machine.Subkey(u"K");
        key.Add(u"Text", REG_SZ, u"a");
        key.Add(u"Expand", REG_EXPAND_SZ, u"%b%");
        key.Add(u"Number", REG_DWORD, u"7");
        key.Add(u"Blob", REG_BINARY, u"");
        key.Add(u"Many", REG_MULTI_SZ, u"");
        return machine;
    });
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"\\K"));
    EXPECT_EQ(reg.GetDataType(u"Text"), rdString);
    EXPECT_EQ(reg.GetDataType(u"Expand"), rdExpandString);
    EXPECT_EQ(reg.GetDataType(u"Number"), rdInteger);
    EXPECT_EQ(reg.GetDataType(u"Blob"), rdBinary);
    EXPECT_EQ(reg.GetDataType(u"Many"), rdUnknown);
    EXPECT_EQ(reg.GetDataType(u"Missing"), rdUnknown);
    EXPECT_FALSE(reg.ValueExists(u"Missing"));
    EXPECT_EQ(reg.ReadString(u"Missing"), u"");
    EXPECT_EQ(reg.ReadString(u"Expand"), u"%b%");
    EXPECT_THROW(reg.ReadString(u"Number"), ERegistryException);
}

} // namespace
