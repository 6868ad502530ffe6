#include "app/ReplyScan.h"

namespace quillon::console {

TReplyScan ScanReply(std::string_view chunk, std::string& lecture) {
    TReplyScan scan;
    for (char byte : chunk) {
        if (byte == 'f') {
            scan.ReadingFinished = true;
            break;
        }
        if (byte == 'w')
            scan.TemperatureStarted = true;
        else
            lecture += byte;
    }
    return scan;
}

TLedReport LedReportOf(std::string_view chunk) {
    if (chunk.size() < 2) return TLedReport::None;
    switch (chunk[1]) {
    case '0':
        return TLedReport::Off;
    case '1':
        return TLedReport::On;
    default:
        return TLedReport::None;
    }
}

std::string_view UpToFirstNul(std::string_view chunk) {
    return chunk.substr(0, chunk.find('\0'));
}

} // namespace quillon::console
