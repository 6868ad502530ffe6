#include "app/HexDump.h"

#include <cstdio>

namespace quillon::console {

std::string HexRow(std::string_view bytes, std::size_t offset) {
    static const char kDigits[] = "0123456789abcdef";
    char head[16];
    std::snprintf(head, sizeof head, "%08zx  ", offset);
    std::string row = head;
    std::string printable;
    for (std::size_t i = 0; i < HexRowBytes; ++i) {
        if (i == HexRowBytes / 2) row += ' ';
        if (i < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            row += kDigits[c >> 4];
            row += kDigits[c & 15];
            row += ' ';
            printable += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        } else {
            row += "   ";
        }
    }
    return row + ' ' + printable;
}

} // namespace quillon::console
