#pragma once
// Text types: AnsiString is bytes, string is UTF-16; encodings convert between them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

/// 8-bit text: bytes, as they go on the line.
using AnsiString = std::string;
/// One byte of 8-bit text.
using AnsiChar = char;
/// UTF-16 text.
using string = std::u16string;
/// One UTF-16 code unit.
using Char = char16_t;
/// A byte buffer.
using TBytes = std::vector<uint8_t>;

/// Converts between UTF-16 text and bytes, never adding a byte-order mark.
class TEncoding {
  public:
    /// Destroys the encoding.
    virtual ~TEncoding() = default;
    /// Encodes s.
    virtual TBytes GetBytes(const string& s) const = 0;
    /// Decodes bytes.
    virtual string GetString(const TBytes& bytes) const = 0;
    /// Decodes n bytes at data.
    string GetString(const uint8_t* data, size_t n) const {
        return GetString(TBytes(data, data + n));
    }

    /// UTF-8.
    static const TEncoding& UTF8();
    /// UTF-16, least significant byte first.
    static const TEncoding& Unicode();
    /// Latin-1: one byte per character; characters it cannot hold become '?'.
    static const TEncoding& Latin1();
};

/// UTF-8 (as in source literals and exception messages) to UTF-16 and back. Malformed
/// input becomes U+FFFD rather than being dropped.
string Utf8ToString(std::string_view utf8);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string StringToUtf8(const string& s);

} // namespace rtl
