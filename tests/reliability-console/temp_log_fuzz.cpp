// libFuzzer target over the temperature log's line reader and parser: any bytes are read
// back as lines that lose, add and move nothing, and every line splits and converts
// without fault in both notations. Built and run by scripts/fuzz.
#include "app/TempLogParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quillon::console;

void Require(bool ok) {
    if (!ok) std::abort();
}

void CheckFields(const std::string& line) {
    const TLogLineFields f = SplitLogLine(line);
    const auto n = static_cast<int32_t>(line.size());
    const auto comma = line.find(','), semicolon = line.find(';');
    Require(f.PosComma == (comma == std::string::npos ? n : int32_t(comma)));
    Require(f.PosSemicolon == (semicolon == std::string::npos ? n : int32_t(semicolon)));
    Require(f.FormatError == (semicolon == std::string::npos));
    Require(f.Identifier == line.substr(0, size_t(f.PosComma)));
    Require(f.Temperature ==
            (f.PosSemicolon > f.PosComma + 1
                 ? line.substr(size_t(f.PosComma) + 1, size_t(f.PosSemicolon - f.PosComma - 1))
                 : std::string()));
    for (char separator : {'.', ','}) {
        rtl::TFormatSettings fs;
        fs.DecimalSeparator = separator;
        const TLogSample s = ConvertLogFields(f, fs);
        // A number has at least one digit; anything converted came from one.
        if (s.Id) Require(f.Identifier.find_first_of("0123456789") != std::string::npos);
        if (s.Temperature) Require(f.Temperature.find_first_of("0123456789") != std::string::npos);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::u16string path(input.begin(), input.end());
    const std::u16string ext = LowerExtension(path);
    Require(ext.empty() || ext[0] == u'.');
    if (size == 0) return 0;

    std::FILE* file = ::fmemopen(const_cast<uint8_t*>(data), size, "r");
    Require(file != nullptr);
    char buffer[LogLineBufferSize];
    std::string line, joined;
    while (ReadLogLine(file, buffer, line)) {
        const auto lf = line.find('\n');
        Require(lf == std::string::npos || lf == line.size() - 1); // one line, whole
        joined += line;
        CheckFields(line);
    }
    std::fclose(file);
    Require(joined == input); // nothing lost, added or moved
    return 0;
}
