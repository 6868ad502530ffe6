#include "SerialMap.h"

#include <windows.h>

namespace quillon::wintest {

namespace {

const wchar_t kMap[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end()); // ASCII names
}

} // namespace

TSerialMapEntry::TSerialMapEntry(const std::string& device, const std::string& com)
    : FName(L"\\Device\\" + Wide(device)) {
    HKEY map;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMap, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                          nullptr, &map, nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring data = Wide(com);
    FWritten =
        ::RegSetValueExW(map, FName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    ::RegCloseKey(map);
}

TSerialMapEntry::~TSerialMapEntry() {
    HKEY map;
    if (!FWritten || ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMap, 0, KEY_SET_VALUE, &map) != 0) return;
    ::RegDeleteValueW(map, FName.c_str());
    ::RegCloseKey(map);
}

} // namespace quillon::wintest
