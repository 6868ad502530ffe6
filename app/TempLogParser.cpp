#include "app/TempLogParser.h"

#include "rtl/Exceptions.h"

#include <cstring>

namespace quillon::console {

bool ReadLogLine(std::FILE* file, char (&buffer)[LogLineBufferSize], std::string& line) {
    line.clear();
    // fgets also stops when the buffer is full: keep reading until the line feed, so a
    // long line stays one line instead of several broken pieces.
    for (;;) {
        // Filled with a non-zero byte, the buffer's last zero is the one fgets wrote, so
        // a zero byte inside the line neither cuts it short nor hides its line feed.
        std::memset(buffer, '\n', sizeof buffer);
        if (!std::fgets(buffer, LogLineBufferSize, file)) break;
        const void* end = memrchr(buffer, '\0', sizeof buffer);
        const auto n = static_cast<const char*>(end) - buffer;
        line.append(buffer, n);
        if (n > 0 && buffer[n - 1] == '\n') break;
    }
    return !line.empty();
}

TLogLineFields SplitLogLine(std::string_view line) {
    TLogLineFields f;
    const auto n = static_cast<int32_t>(line.size());
    const auto comma = line.find(',');
    const auto semicolon = line.find(';');
    f.PosComma = comma == std::string_view::npos ? n : static_cast<int32_t>(comma);
    f.PosSemicolon = semicolon == std::string_view::npos ? n : static_cast<int32_t>(semicolon);
    f.FormatError = semicolon == std::string_view::npos;
    f.Identifier = std::string(line.substr(0, f.PosComma));
    if (f.PosSemicolon > f.PosComma + 1)
        f.Temperature = std::string(line.substr(f.PosComma + 1, f.PosSemicolon - f.PosComma - 1));
    return f;
}

namespace {
std::optional<double> Convert(const std::string& text, const rtl::TFormatSettings& fs) {
    try {
        return rtl::StrToFloat(text, fs);
    } catch (const rtl::EConvertError&) {
        return std::nullopt;
    }
}
} // namespace

TLogSample ConvertLogFields(const TLogLineFields& fields, const rtl::TFormatSettings& fs) {
    return {Convert(fields.Identifier, fs), Convert(fields.Temperature, fs)};
}

std::u16string LowerExtension(std::u16string_view path) {
    const auto slash = path.rfind(u'/');
    const auto name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) return {};
    std::u16string ext(name.substr(dot));
    for (char16_t& c : ext)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return ext;
}

} // namespace quillon::console
