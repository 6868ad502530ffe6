// The port's four enumerations over the recorded trees, a registered virtual port, and the
// walking rules the Linux sources cannot produce on their own (through a registry source).
#include "comport/ComPort.h"
#include "enum_fixture.h"
#include "platform/PortRegistry.h"
#include "platform/Registry.h"

#include <fstream>
#include <stdexcept>

namespace {

using namespace enumtest;
using namespace qwin;
using quillon::TComPort;
using Names = std::vector<std::string>;

const Names DesktopPorts = {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB2",
                            "/dev/ttyUSB10"};
// Grouped by enumerator (USB, then PNP); the USB devices' own keys are not ports.
const Names DesktopFriendlyNames = {
    "Pico (Raspberry Pi, E660D4A0A7123456) (ttyACM0)", "FT232R USB UART (FTDI, A50285BI) (ttyUSB0)",
    "USB serial device 1a86:7523 (ttyUSB2)",
    "CP2102 USB to UART Bridge Controller (Silicon Labs, 0001) (ttyUSB10)",
    "16550A serial port (ttyS0)"};

class PortEnum : public TEnumTest {
  protected:
    Names Prefixed(const Names& names) {
        Names out = {"kept"};
        out.insert(out.end(), names.begin(), names.end());
        return out;
    }
    TComPort Port{nullptr};
    rtl::TStringList List;
};

TEST_F(PortEnum, FromRegistryAppendsAfterExistingEntries) {
    List.Add(u"kept");
    Port.EnumComDevicesFromRegistry(List);
    EXPECT_EQ(Utf8(List), Prefixed(DesktopPorts));
}

TEST_F(PortEnum, TwiceGivesEveryNameTwice) {
    Port.EnumComDevicesFromRegistry(List);
    Port.EnumComDevicesFromRegistry(List);
    Names twice = DesktopPorts;
    twice.insert(twice.end(), DesktopPorts.begin(), DesktopPorts.end());
    EXPECT_EQ(Utf8(List), twice);
}

TEST_F(PortEnum, NoSerialHardwareAppendsNothing) {
    SetSystemRoot(DataTree("sysfs-headless"));
    List.Add(u"kept");
    Port.EnumComDevicesFromRegistry(List);
    Port.EnumComFriendlyNames(List);
    Port.EnumComDevices(List);
    EXPECT_EQ(Utf8(List), Names{"kept"});
}

TEST_F(PortEnum, RegisteredVirtualPortListedUntilReleased) {
    TPty pty;
    TPortRegistration board(pty.SlavePath(), "Quillon board");
    Port.EnumComDevicesFromRegistry(List);
    Port.EnumComFriendlyNames(List);
    Names expected = DesktopPorts;
    expected.push_back(pty.SlavePath());
    expected.insert(expected.end(), DesktopFriendlyNames.begin(), DesktopFriendlyNames.end());
    expected.push_back("Quillon board (" + pty.SlavePath().substr(5) + ")");
    EXPECT_EQ(Utf8(List), expected);

    board.Release();
    List.Clear();
    Port.EnumComDevicesFromRegistry(List);
    EXPECT_EQ(Utf8(List), DesktopPorts);
}

TEST_F(PortEnum, FriendlyNamesOfPortsOnly) {
    List.Add(u"kept");
    Port.EnumComFriendlyNames(List);
    EXPECT_EQ(Utf8(List), Prefixed(DesktopFriendlyNames));
}

TEST_F(PortEnum, EnumDevicesListsTheWholeTable) {
    TPty pty;
    TPortRegistration board(pty.SlavePath(), "Quillon board");
    Port.EnumDevices(List);
    const Names names = Utf8(List);
    ASSERT_EQ(names.size(), 16u);
    EXPECT_EQ(names.front(), "/dev/console");
    EXPECT_EQ(names[8], "/dev/ttyS1"); // a node without a UART is still a device name
    EXPECT_EQ(names.back(), pty.SlavePath());
}

TEST_F(PortEnum, EnumComDevicesKeepsSerialPortsOnly) {
    TPty pty;
    TPortRegistration board(pty.SlavePath(), "Quillon board");
    List.Add(u"kept");
    Port.EnumComDevices(List);
    Names expected = Prefixed(DesktopPorts);
    expected.push_back(pty.SlavePath());
    EXPECT_EQ(Utf8(List), expected);
}

TEST_F(PortEnum, WorksOnAnOpenPort) {
    TPty pty;
    pty.CloseSlave();
    Port.SetDeviceName(rtl::Utf8ToString(pty.SlavePath()));
    Port.Open();
    Port.EnumComDevicesFromRegistry(List);
    EXPECT_EQ(Utf8(List), DesktopPorts);
    Port.Close();
}

TEST_F(PortEnum, TableLargerThanTheBufferAppendsNothing) {
    TTempDir tree;
    std::filesystem::create_directories(tree.Path() + "/dev");
    const auto node = [&](int i) {
        char name[80];
        std::snprintf(name, sizeof name, "/dev/%s%05d",
                      "a-device-name-long-enough-to-fill-the-table-soon-", i);
        return tree.Path() + name; // 60 characters under the root, 61 with the NUL
    };
    for (int i = 0; i < 1200; ++i)
        std::ofstream(node(i)).put('\n'); // 73201 characters
    SetSystemRoot(tree.Path());
    List.Add(u"kept");
    Port.EnumDevices(List);
    Port.EnumComDevices(List);
    EXPECT_EQ(Utf8(List), Names{"kept"});

    for (int i = 1000; i < 1200; ++i)
        std::filesystem::remove(node(i)); // 61001 characters
    List.Clear();
    Port.EnumDevices(List);
    EXPECT_EQ(List.Count(), 1000);
}

// ---- the walking rules, on registries the Linux sources never build

TRegKey& Instance(TRegKey& machine, const char16_t* e, const char16_t* d, const char16_t* i) {
    return machine.Subkey(u"SYSTEM")
        .Subkey(u"CurrentControlSet")
        .Subkey(u"Enum")
        .Subkey(e)
        .Subkey(d)
        .Subkey(i);
}

// An instance key with a class text and a friendly name, both plain strings.
void AddDevice(TRegKey& machine, const char16_t* e, const char16_t* d, const char16_t* i,
               const char16_t* guid, const char16_t* name) {
    Instance(machine, e, d, i).Add(u"ClassGUID", REG_SZ, guid);
    Instance(machine, e, d, i).Add(u"FriendlyName", REG_SZ, name);
}

constexpr const char16_t* kPortsClass = u"{4d36e978-e325-11ce-bfc1-08002be10318}";

TEST_F(PortEnum, SerialMapSkipsValuesThatAreNotPlainStrings) {
    SetRegistrySource([] {
        TRegKey machine;
        TRegKey& map = machine.Subkey(u"HARDWARE").Subkey(u"DEVICEMAP").Subkey(u"SERIALCOMM");
        map.Add(u"a", REG_SZ, u"COM1");
        map.Add(u"b", REG_EXPAND_SZ, u"COM2");
        map.Add(u"c", REG_DWORD, u"3");
        map.Add(u"d", REG_SZ, u"\\\\.\\COM4");
        return machine;
    });
    Port.EnumComDevicesFromRegistry(List);
    EXPECT_EQ(Utf8(List), (Names{"COM1", "\\\\.\\COM4"}));
}

TEST_F(PortEnum, MissingKeysAppendNothing) {
    SetRegistrySource([] {
        TRegKey machine;
        machine.Subkey(u"HARDWARE").Subkey(u"DEVICEMAP");
        return machine;
    });
    Port.EnumComDevicesFromRegistry(List);
    Port.EnumComFriendlyNames(List);
    EXPECT_EQ(List.Count(), 0);
}

TEST_F(PortEnum, FriendlyNamesNeedThePortsClassAndAPlainString) {
    SetRegistrySource([] {
        TRegKey machine;
        AddDevice(machine, u"ACPI", u"PNP0501", u"0", u"{4D36E978-E325-11CE-BFC1-08002BE10318}",
                  u"Upper-case class");
        Instance(machine, u"ACPI", u"PNP0501", u"1").Add(u"FriendlyName", REG_SZ, u"No class");
        Instance(machine, u"USB", u"VID_1", u"2").Add(u"ClassGUID", REG_SZ, kPortsClass);
        Instance(machine, u"USB", u"VID_1", u"2")
            .Add(u"FriendlyName", REG_EXPAND_SZ, u"Expandable");
        AddDevice(machine, u"USB", u"VID_1", u"3", u"{36fc9e60-c465-11cf-8056-444553540000}",
                  u"Not a port");
        AddDevice(machine, u"USB", u"VID_1", u"4", kPortsClass, u"Lower-case class");
        Instance(machine, u"USB", u"VID_1", u"5").Add(u"ClassGUID", REG_SZ, kPortsClass);
        return machine;
    });
    Port.EnumComFriendlyNames(List);
    EXPECT_EQ(Utf8(List), (Names{"Upper-case class", "Lower-case class"}));
}

TEST_F(PortEnum, RegistryErrorPropagatesWithEarlierEntriesKept) {
    SetRegistrySource([] {
        TRegKey machine;
        AddDevice(machine, u"A", u"D", u"0", kPortsClass, u"First");
        Instance(machine, u"A", u"D", u"1").Add(u"ClassGUID", REG_DWORD, u"1");
        AddDevice(machine, u"A", u"D", u"2", kPortsClass, u"Never reached");
        return machine;
    });
    EXPECT_THROW(Port.EnumComFriendlyNames(List), ERegistryException);
    EXPECT_EQ(Utf8(List), Names{"First"});
}

// A list that refuses its third entry.
class TFullList : public rtl::TStringList {
  public:
    int Add(const rtl::string& s) override {
        if (Count() == 2) throw std::length_error("list full");
        return TStringList::Add(s);
    }
};

TEST_F(PortEnum, ListErrorPropagatesWithEarlierEntriesKept) {
    TFullList full;
    EXPECT_THROW(Port.EnumComDevicesFromRegistry(full), std::length_error);
    EXPECT_EQ(Utf8(full), (Names{"/dev/ttyACM0", "/dev/ttyS0"}));
    TFullList full2;
    EXPECT_THROW(Port.EnumDevices(full2), std::length_error);
    EXPECT_EQ(full2.Count(), 2);
}

} // namespace
