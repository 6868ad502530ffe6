#pragma once
// One load of a temperature log, read a slice at a time so that the window answers its
// operator between slices. Each line gives, in file order, its temperature text, its
// boxes and its point; the end of the file closes it and shows "Tracé terminé".
#include "app/TempLogParser.h"
#include "rtl/Locale.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::console {

class TTempLogLoad {
  public:
    /// Where a load's results go.
    class IOutputs {
      public:
        virtual ~IOutputs() = default;
        /// One line of Memo1: the temperature text as read (bytes).
        virtual void AddLine(std::string_view temperature) = 0;
        virtual void AddPoint(double id, double temperature) = 0;
        /// A modal box (UTF-8); returns once the operator has closed it.
        virtual void ShowBox(const std::string& text) = 0;
    };

    /// Checks the extension of path (as the operator chose it) and opens the file at
    /// nativePath, with the boxes of those steps. Null when the load ends there.
    static std::unique_ptr<TTempLogLoad> Open(std::u16string_view path,
                                              const std::string& nativePath,
                                              const rtl::TFormatSettings& fs, IOutputs& outputs);

    /// Handles lines until the file ends or deadline passes; true once the load is over.
    bool Step(std::chrono::steady_clock::time_point deadline);
    /// How much of the file has been read, from 0 to 1.
    double Progress() const;

  private:
    TTempLogLoad(std::FILE* file, const rtl::TFormatSettings& fs, IOutputs& outputs);

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> FFile;
    const rtl::TFormatSettings FFormatSettings;
    IOutputs& FOut;
    long FSize = 0;
    char ligne[LogLineBufferSize] = {};
    std::string FLine;
};

} // namespace quillon::console
