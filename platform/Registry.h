#pragma once
// A read-only registry with the shape of the runtime's registry wrapper, so that device
// enumeration reads like its algorithms. On Linux its contents are built from the serial
// sources of DeviceEnum.h each time a registry object is created:
//
//   \HARDWARE\DEVICEMAP\SERIALCOMM          one REG_SZ value per port: "\Device\ttyUSB0" =
//                                           "/dev/ttyUSB0" (registered ports:
//                                           "\Device\RegisteredN")
//   \SYSTEM\CurrentControlSet\Enum\E\D\I    one key per port (ClassGUID of the ports class,
//                                           FriendlyName, PortName) and, for USB ports, one per
//                                           USB device (the USB device class)
//
// Keys and values keep the order of the sources; names compare without regard to ASCII case.
#include "platform/WinApi.h"
#include "rtl/Exceptions.h"
#include "rtl/Strings.h"

#include <functional>
#include <string>
#include <vector>

namespace qwin {

/// A predefined root of the registry.
using HKEY = uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000, HKEY_CURRENT_USER = 0x80000001,
               HKEY_LOCAL_MACHINE = 0x80000002;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
                REG_MULTI_SZ = 7;

/// The ports class of the device tree, as the sources write it.
inline constexpr const char16_t* GUID_DEVCLASS_PORTS_TEXT =
    u"{4D36E978-E325-11CE-BFC1-08002BE10318}";
/// The USB device class, for the USB devices that carry serial ports.
inline constexpr const char16_t* GUID_DEVCLASS_USB_TEXT = u"{36FC9E60-C465-11CF-8056-444553540000}";

/// One value of a key. Data is kept as text whatever the type.
struct TRegValue {
    string Name;
    DWORD Type = REG_SZ;
    string Data;
};

/// One key with its values and subkeys, in enumeration order.
struct TRegKey {
    string Name;
    std::vector<TRegValue> Values;
    std::vector<TRegKey> Subkeys;

    /// The subkey called name, created at the end if missing.
    TRegKey& Subkey(const string& name);
    /// Appends a value.
    void Add(const string& name, DWORD type, const string& data);
};

/// Builds the contents of HKEY_LOCAL_MACHINE; a fresh snapshot per registry object.
using TRegistrySource = std::function<TRegKey()>;
/// Replaces the Linux sources (tests of the walking algorithms); nullptr restores them.
void SetRegistrySource(TRegistrySource source);
/// HKEY_LOCAL_MACHINE as the Linux serial sources under root describe it.
TRegKey SerialRegistryFromSystem(const std::string& root);

/// A value's type as the wrapper reports it; REG_SZ alone is rdString.
enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

/// What the registry layer raises, e.g. for reading a value of another type as a string.
class ERegistryException : public rtl::Exception {
  public:
    using Exception::Exception;
};

/// The runtime's registry wrapper, read-only.
class TRegistry {
  public:
    /// Takes a snapshot of the sources. Only KEY_READ can be granted; any other access raises
    /// ERegistryException.
    explicit TRegistry(DWORD access);
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    /// The root the key paths start from; HKEY_CURRENT_USER at first, as in the wrapper.
    HKEY RootKey() const { return FRootKey; }
    /// Changes the root and closes the current key.
    void SetRootKey(HKEY key);
    /// Opens an absolute ("\A\B") or relative key; on success it becomes the current key.
    bool OpenKeyReadOnly(const string& key);
    /// Leaves no key current.
    void CloseKey();
    /// Clears list and fills it with the current key's value names.
    void GetValueNames(rtl::TStrings& list) const;
    /// Clears list and fills it with the current key's subkey names.
    void GetKeyNames(rtl::TStrings& list) const;
    /// rdUnknown for a missing value.
    TRegDataType GetDataType(const string& name) const;
    /// Whether the current key has a value called name.
    bool ValueExists(const string& name) const;
    /// The string data of name, "" when it does not exist; raises ERegistryException for a
    /// value of another type.
    string ReadString(const string& name) const;

  private:
    const TRegValue* FindValue(const string& name) const;

    HKEY FRootKey = HKEY_CURRENT_USER;
    TRegKey FMachine;
    std::vector<string> FCurrentPath;
    const TRegKey* FCurrentKey = nullptr;
};

} // namespace qwin
