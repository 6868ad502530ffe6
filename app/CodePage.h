#pragma once
// The console's 8-bit code page is Latin-1, both ways: one character per byte.
#include "rtl/Text.h"

#include <QString>
#include <string_view>

namespace quillon::console {

/// Received bytes as text: every byte, zero and bytes above 127 included, is a character.
inline QString TextOfBytes(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

/// Typed text as bytes; a character Latin-1 cannot hold is sent as "?".
inline rtl::AnsiString BytesOfText(const QString& text) {
    const rtl::TBytes bytes = rtl::TEncoding::Latin1().GetBytes(
        rtl::string(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    return rtl::AnsiString(bytes.begin(), bytes.end());
}

inline rtl::string ToRtlString(const QString& text) {
    return rtl::string(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}

inline QString FromRtlString(const rtl::string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace quillon::console
