#pragma once
// How the console reads what the board sends, without any widget: the temperature reading
// gathered up to "f", the LED state in a chunk's second byte, and the value field's text.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::console {

/// A good reading has exactly this many value bytes ("23.50").
inline constexpr std::size_t GoodReadingLength = 5;

/// What one chunk did to the reading being gathered.
struct TReplyScan {
    bool TemperatureStarted = false; ///< a "w" came before the end of the scan
    bool ReadingFinished = false;    ///< an "f" ended the reading; later bytes were not scanned
};

/// Scans chunk from its first byte: every byte other than the lower-case markers "w" and
/// "f" is appended to lecture, and the first "f" ends the scan.
TReplyScan ScanReply(std::string_view chunk, std::string& lecture);

/// A reading is judged by its length in bytes alone.
inline bool IsGoodReading(std::string_view lecture) {
    return lecture.size() == GoodReadingLength;
}

enum class TLedReport { None, Off, On };

/// The LED state a chunk reports in its second byte ("0" off, "1" on); None otherwise.
TLedReport LedReportOf(std::string_view chunk);

/// The chunk up to its first zero byte, as the value field shows it.
std::string_view UpToFirstNul(std::string_view chunk);

} // namespace quillon::console
