#include "app/MeasureJournal.h"

#include <cerrno>
#include <cstring>

namespace quillon::console {

namespace {

std::string QuotedLatin1(std::string_view bytes) {
    std::string out = "\"";
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '"') out += '"';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else { // Latin-1 to UTF-8
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out + '"';
}

} // namespace

std::string TMeasureJournal::Open(const std::string& path) {
    FFile.reset(std::fopen(path.c_str(), "a"));
    if (!FFile) return std::strerror(errno);
    if (std::ftell(FFile.get()) == 0) return Write("date;valeur;résultat\n");
    return {};
}

std::string TMeasureJournal::Append(std::string_view reading, std::string_view verdict,
                                    std::time_t when) {
    if (!FFile) return {};
    char stamp[32];
    std::tm local{};
    localtime_r(&when, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    return Write(std::string(stamp) + ";" + QuotedLatin1(reading) + ";" + std::string(verdict) +
                 "\n");
}

std::string TMeasureJournal::Write(const std::string& line) {
    errno = 0;
    if (std::fputs(line.c_str(), FFile.get()) >= 0 && std::fflush(FFile.get()) == 0) return {};
    return std::strerror(errno ? errno : EIO);
}

std::string JournalVerdict(int errors) {
    return errors == 0 ? "Bonne valeur" : "Erreur " + std::to_string(errors);
}

} // namespace quillon::console
