#pragma once

// Small matchers for the board's texts (std::regex trips GCC's uninitialised
// warnings in sanitizer builds).

#include <optional>
#include <string>
#include <string_view>

namespace quillon::board::test {

inline bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

/// "w", two digits, ".", two digits, "f": a reading of good length.
inline bool IsGoodReading(std::string_view text) {
    return text.size() == 7 && text[0] == 'w' && AllDigits(text.substr(1, 2)) && text[3] == '.' &&
           AllDigits(text.substr(4, 2)) && text[6] == 'f';
}

struct TLogLine {
    std::string Id;
    std::string Whole;
    std::string Fraction;
};

/// Splits "id,dd<separator>dd;" (no line end); nothing when the line has another form.
inline std::optional<TLogLine> ParseLogLine(std::string_view line, char separator) {
    const auto comma = line.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string_view id = line.substr(0, comma);
    const std::string_view rest = line.substr(comma + 1);
    if (!AllDigits(id) || rest.size() != 6 || rest[2] != separator || rest[5] != ';' ||
        !AllDigits(rest.substr(0, 2)) || !AllDigits(rest.substr(3, 2)))
        return std::nullopt;
    return TLogLine{std::string(id), std::string(rest.substr(0, 2)),
                    std::string(rest.substr(3, 2))};
}

} // namespace quillon::board::test
