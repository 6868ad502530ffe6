#pragma once
// Inside the Windows backend: UTF-8 text to and from the system's UTF-16.
#include "rtl/Text.h"

#include <string>

namespace qwin::detail {

inline std::wstring Widen(const std::string& utf8) {
    const std::u16string s = rtl::Utf8ToString(utf8);
    return std::wstring(s.begin(), s.end());
}

inline std::string Narrow(const std::wstring& wide) {
    return rtl::StringToUtf8(std::u16string(wide.begin(), wide.end()));
}

} // namespace qwin::detail
