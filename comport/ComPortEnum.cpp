// Device enumeration. The sources are Linux's (DeviceEnum.h, Registry.h) behind the same
// shapes as the system's device-name table and registry, so each routine is its algorithm.
// Every routine only appends, in the source's order, and raises nothing of its own.
#include "comport/ComPort.h"
#include "platform/DeviceEnum.h"
#include "platform/Registry.h"

namespace quillon {

namespace {

using namespace qwin;

constexpr DWORD DeviceNameBufferSize = 65535;
constexpr const char16_t* SerialCommKey = u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char16_t* EnumKey = u"\\SYSTEM\\CurrentControlSet\\Enum";
constexpr const char16_t* EnumPrefix = u"\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char16_t* Separator = u"\\";
constexpr const char16_t* ClassGUIDValue = u"ClassGUID";
constexpr const char16_t* PortsClass = u"{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr const char16_t* FriendlyNameValue = u"FriendlyName";
constexpr const char16_t* DevicePrefix = u"\\\\.\\";

// Calls take with every non-empty name of a NUL-separated table of n characters.
template <class F> void ScanDeviceNames(const char16_t* buffer, DWORD n, F take) {
    DWORD start = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (buffer[i] != u'\0') continue;
        if (i > start) take(string(buffer + start, i - start));
        start = i + 1;
    }
}

string LowerCase(string s) {
    for (auto& c : s)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return s;
}

// The Linux stand-in for names beginning with "COM": the device paths of the serial ports
// the machine has (DeviceEnum.h), bare or behind the device-namespace prefix.
class TComNames {
  public:
    TComNames() {
        for (const auto& port : ListSerialPorts(SystemRoot()))
            FPaths.push_back(rtl::Utf8ToString(port.DevicePath));
    }
    bool Matches(const string& name) const {
        const string plain = name.rfind(DevicePrefix, 0) == 0 ? name.substr(4) : name;
        for (const auto& path : FPaths)
            if (plain == path) return true;
        return false;
    }

  private:
    std::vector<string> FPaths;
};

} // namespace

void TCustomComPort::EnumDevices(rtl::TStrings& List) {
    char16_t buffer[DeviceNameBufferSize];
    const DWORD n = QueryDosDevice(nullptr, buffer, DeviceNameBufferSize);
    ScanDeviceNames(buffer, n, [&](const string& name) { List.Add(name); });
}

void TCustomComPort::EnumComDevices(rtl::TStrings& List) {
    char16_t buffer[DeviceNameBufferSize];
    const DWORD n = QueryDosDevice(nullptr, buffer, DeviceNameBufferSize);
    const TComNames comNames;
    ScanDeviceNames(buffer, n, [&](const string& name) {
        if (comNames.Matches(name)) List.Add(name);
    });
}

void TCustomComPort::EnumComDevicesFromRegistry(rtl::TStrings& List) {
    TRegistry Registry(KEY_READ);
    Registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!Registry.OpenKeyReadOnly(SerialCommKey)) return;
    rtl::TStringList ValueNames;
    Registry.GetValueNames(ValueNames);
    for (const auto& name : ValueNames.Items())
        if (Registry.GetDataType(name) == rdString) List.Add(Registry.ReadString(name));
}

void TCustomComPort::EnumComFriendlyNames(rtl::TStrings& List) {
    TRegistry Registry(KEY_READ);
    Registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!Registry.OpenKeyReadOnly(EnumKey)) return;
    rtl::TStringList Enumerators, Devices, Instances;
    Registry.GetKeyNames(Enumerators);
    for (const auto& e : Enumerators.Items()) {
        if (!Registry.OpenKeyReadOnly(EnumPrefix + e)) continue;
        Devices.Clear();
        Registry.GetKeyNames(Devices);
        for (const auto& d : Devices.Items()) {
            if (!Registry.OpenKeyReadOnly(EnumPrefix + e + Separator + d)) continue;
            Instances.Clear();
            Registry.GetKeyNames(Instances);
            for (const auto& i : Instances.Items()) {
                if (!Registry.OpenKeyReadOnly(EnumPrefix + e + Separator + d + Separator + i))
                    continue;
                if (LowerCase(Registry.ReadString(ClassGUIDValue)) == PortsClass &&
                    Registry.GetDataType(FriendlyNameValue) == rdString)
                    List.Add(Registry.ReadString(FriendlyNameValue));
            }
        }
    }
}

} // namespace quillon
