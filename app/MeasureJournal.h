#pragma once
// "Journal des mesures": every judged reading appended to a CSV file (local date and time,
// value, verdict), a line at a time and flushed, so that a day of polling can be read later
// even if the console is stopped. Fields are separated by ";" and the value is quoted: a
// value may hold a comma, a quote or the line ends the board sent before it.
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::console {

class TMeasureJournal {
  public:
    /// Opens path for appending, with a header line when the file is new or empty; the
    /// system's reason when it cannot.
    std::string Open(const std::string& path);
    void Close() { FFile.reset(); }
    bool IsOpen() const { return FFile != nullptr; }

    /// Appends one reading (bytes, shown as Latin-1) with its verdict (UTF-8), judged at
    /// when; the system's reason when the line could not be written.
    std::string Append(std::string_view reading, std::string_view verdict, std::time_t when);

  private:
    std::string Write(const std::string& line);

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> FFile{nullptr, &std::fclose};
};

/// The verdict the journal gives a reading: "Bonne valeur", or "Erreur" and the count.
std::string JournalVerdict(int errors);

} // namespace quillon::console
