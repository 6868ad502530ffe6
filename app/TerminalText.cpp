#include "app/TerminalText.h"

#include <algorithm>

namespace quillon::console {

std::size_t TTerminalText::Append(std::u16string_view text) {
    const std::size_t first = FLines.size() - 1;
    for (char16_t c : text) {
        if (c == u'\n' && FAfterCR) {
            FAfterCR = false;
            continue;
        }
        FAfterCR = c == u'\r';
        if (c == u'\r' || c == u'\n')
            FLines.emplace_back();
        else
            FLines.back() += c;
    }
    return first;
}

void TTerminalText::Clear() {
    FLines.assign(1, std::u16string());
    FAfterCR = false;
}

std::u16string TTerminalText::Text() const {
    return Slice(0, 0, FLines.size() - 1, FLines.back().size());
}

std::u16string TTerminalText::Slice(std::size_t line0, std::size_t col0, std::size_t line1,
                                    std::size_t col1) const {
    std::u16string out;
    if (FLines.empty() || line0 >= FLines.size()) return out;
    line1 = std::min(line1, FLines.size() - 1);
    for (std::size_t i = line0; i <= line1; ++i) {
        const std::u16string& l = FLines[i];
        const std::size_t from = i == line0 ? std::min(col0, l.size()) : 0;
        const std::size_t to = i == line1 ? std::min(col1, l.size()) : l.size();
        if (to > from) out.append(l, from, to - from);
        if (i != line1) out += u'\n';
    }
    return out;
}

} // namespace quillon::console
