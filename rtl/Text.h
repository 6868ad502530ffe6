#pragma once
// Text types: AnsiString is bytes, string is UTF-16; encodings convert between them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

using AnsiString = std::string;
using AnsiChar = char;
using string = std::u16string;
using Char = char16_t;
using TBytes = std::vector<uint8_t>;

/// Converts between UTF-16 text and bytes, never adding a byte-order mark.
class TEncoding {
public:
    virtual ~TEncoding() = default;
    virtual TBytes GetBytes(const string& s) const = 0;
    virtual string GetString(const TBytes& bytes) const = 0;
    string GetString(const uint8_t* data, size_t n) const { return GetString(TBytes(data, data + n)); }

    static const TEncoding& UTF8();
    /// UTF-16, least significant byte first.
    static const TEncoding& Unicode();
    /// Latin-1: one byte per character; characters it cannot hold become '?'.
    static const TEncoding& Latin1();
};

/// UTF-8 (as in source literals and exception messages) to UTF-16 and back. Malformed
/// input becomes U+FFFD rather than being dropped.
string Utf8ToString(std::string_view utf8);
std::string StringToUtf8(const string& s);

} // namespace rtl
