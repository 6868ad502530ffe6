#pragma once
// The board's temperature log, one sample a line: identifier "," temperature ";" rest.
// Plain logic for the console's loader: reading lines of any length, splitting them, and
// converting the two numbers with an explicit locale.
#include "rtl/Locale.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::console {

/// The line buffer of the loader: 254 bytes and a terminating zero.
inline constexpr int LogLineBufferSize = 255;

/// Reads the next line of file, line feed included when there is one, through buffer
/// (LogLineBufferSize bytes), however many buffer loads the line takes. False at the end.
bool ReadLogLine(std::FILE* file, char (&buffer)[LogLineBufferSize], std::string& line);

/// One line cut at its first "," and its first ";".
struct TLogLineFields {
    int32_t PosComma = 0;     ///< index of the first ",", or the line's length
    int32_t PosSemicolon = 0; ///< index of the first ";", or the line's length
    bool FormatError = false; ///< no ";" in the line
    std::string Identifier;   ///< bytes before the first ","
    std::string Temperature;  ///< bytes after the first "," and before the first ";"
};

TLogLineFields SplitLogLine(std::string_view line);

/// The two numbers of a line; a field that is not a whole number in fs's notation is empty.
struct TLogSample {
    std::optional<double> Id;
    std::optional<double> Temperature;
    bool Complete() const { return Id && Temperature; }
};

TLogSample ConvertLogFields(const TLogLineFields& fields, const rtl::TFormatSettings& fs);

/// The extension of the last element of path, from its last ".", dot included, in ASCII
/// lower case; empty when that element has no ".".
std::u16string LowerExtension(std::u16string_view path);

} // namespace quillon::console
