// The port log: one time-stamped line per operation, appended to LogFile.
#include "comport/ComPort.h"
#include "rtl/Locale.h"

#include <cerrno>
#include <cstdio>

namespace quillon {

namespace {

[[noreturn]] void RaiseFileError(int code) {
    // Some stdio failures leave errno alone; report them as plain I/O errors.
    if (code == 0) code = EIO;
    throw rtl::EInOutError(code, rtl::SysErrorMessage(code));
}

void AppendHexBytes(std::string& line, const void* Data, int32_t Count) {
    static const char kHex[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const uint8_t*>(Data);
    line.reserve(line.size() + static_cast<size_t>(Count) * 5);
    for (int32_t i = 0; i < Count; ++i) {
        if (i > 0) line += ", ";
        line += '$';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0xF];
    }
}

} // namespace

void TCustomComPort::Log(const string& Text, const void* Data, int32_t Count) {
    if (!LogEnabled()) return;
    // The file system and the system's 8-bit text are both UTF-8 here.
    std::string line = rtl::DateTimeToStr(rtl::Now(), rtl::FormatSettings());
    line += ' ';
    line += rtl::StringToUtf8(Text);
    if (Data && Count > 0) AppendHexBytes(line, Data, Count);
    line += '\n';

    // Opened and closed per line, so each line is whole on disk when Log returns and the
    // file may be read or removed between lines.
    errno = 0;
    std::FILE* file = std::fopen(rtl::StringToUtf8(FLogFile).c_str(), "a");
    if (!file) RaiseFileError(errno);
    errno = 0;
    bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    int writeError = errno;
    errno = 0;
    bool closed = std::fclose(file) == 0;
    if (!written) RaiseFileError(writeError);
    if (!closed) RaiseFileError(errno);
}

} // namespace quillon
