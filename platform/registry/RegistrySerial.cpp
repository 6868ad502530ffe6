// The registry's serial keys, filled from the Linux sources.
#include "platform/DeviceEnum.h"
#include "platform/Registry.h"

namespace qwin {

TRegKey SerialRegistryFromSystem(const std::string& root) {
    using rtl::Utf8ToString;
    TRegKey machine;
    // Both branches first: references into a key stay valid only while its parents grow no
    // further.
    machine.Subkey(u"HARDWARE");
    machine.Subkey(u"SYSTEM");
    TRegKey& serialComm = machine.Subkey(u"HARDWARE").Subkey(u"DEVICEMAP").Subkey(u"SERIALCOMM");
    TRegKey& tree = machine.Subkey(u"SYSTEM").Subkey(u"CurrentControlSet").Subkey(u"Enum");

    int registered = 0;
    for (const auto& port : ListSerialPorts(root)) {
        const std::string valueName = port.Source == TPortSource::Registered
                                          ? "\\Device\\Registered" + std::to_string(registered++)
                                          : "\\Device\\" + port.InstanceId;
        serialComm.Add(Utf8ToString(valueName), REG_SZ, Utf8ToString(port.DevicePath));

        TRegKey& enumerator = tree.Subkey(Utf8ToString(port.Enumerator));
        if (!port.ParentDeviceId.empty()) {
            // A USB device with several ports is one device: keep its first key.
            TRegKey& device = enumerator.Subkey(Utf8ToString(port.ParentDeviceId));
            const string instanceName = Utf8ToString(port.ParentInstanceId);
            const size_t before = device.Subkeys.size();
            TRegKey& instance = device.Subkey(instanceName);
            if (device.Subkeys.size() != before) {
                instance.Add(u"ClassGUID", REG_SZ, GUID_DEVCLASS_USB_TEXT);
                instance.Add(u"FriendlyName", REG_SZ, Utf8ToString(port.ParentFriendlyName));
            }
        }
        TRegKey& instance =
            enumerator.Subkey(Utf8ToString(port.DeviceId)).Subkey(Utf8ToString(port.InstanceId));
        instance.Add(u"ClassGUID", REG_SZ, GUID_DEVCLASS_PORTS_TEXT);
        instance.Add(u"FriendlyName", REG_SZ, Utf8ToString(port.FriendlyName));
        instance.Add(u"PortName", REG_SZ, Utf8ToString(port.DevicePath));
    }
    return machine;
}

} // namespace qwin
