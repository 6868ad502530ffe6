#include "app/TempLogLoad.h"

#include <sys/stat.h>

namespace quillon::console {

std::unique_ptr<TTempLogLoad> TTempLogLoad::Open(std::u16string_view path,
                                                 const std::string& nativePath,
                                                 const rtl::TFormatSettings& fs,
                                                 IOutputs& outputs) {
    if (LowerExtension(path) != u".txt") {
        outputs.ShowBox("mauvais format");
        return nullptr;
    }
    outputs.ShowBox("bon format");
    // Read only: the loader never writes, so a read-only log loads too.
    std::FILE* file = std::fopen(nativePath.c_str(), "r");
    if (!file) {
        outputs.ShowBox("Le fichier ne peut être ouvert");
        return nullptr;
    }
    return std::unique_ptr<TTempLogLoad>(new TTempLogLoad(file, fs, outputs));
}

TTempLogLoad::TTempLogLoad(std::FILE* file, const rtl::TFormatSettings& fs, IOutputs& outputs)
    : FFile(file, &std::fclose), FFormatSettings(fs), FOut(outputs) {
    struct stat st {};
    if (fstat(fileno(file), &st) == 0) FSize = static_cast<long>(st.st_size);
}

bool TTempLogLoad::Step(std::chrono::steady_clock::time_point deadline) {
    if (!FFile) return true;
    // The clock is read once per batch of lines: a line costs far less than reading it.
    for (int n = 0; n % 256 != 0 || std::chrono::steady_clock::now() < deadline; ++n) {
        if (!ReadLogLine(FFile.get(), ligne, FLine)) {
            FFile.reset();
            FOut.ShowBox("Tracé terminé");
            return true;
        }
        const TLogLineFields fields = SplitLogLine(FLine);
        FOut.AddLine(fields.Temperature);
        if (fields.FormatError) {
            FOut.ShowBox("Problème de format");
            continue;
        }
        const TLogSample sample = ConvertLogFields(fields, FFormatSettings);
        if (!sample.Id) FOut.ShowBox("erreur de format");
        if (!sample.Temperature) FOut.ShowBox("erreur de format");
        if (sample.Complete()) FOut.AddPoint(*sample.Id, *sample.Temperature);
    }
    return false;
}

double TTempLogLoad::Progress() const {
    if (!FFile) return 1;
    if (FSize <= 0) return 0;
    return static_cast<double>(std::ftell(FFile.get())) / static_cast<double>(FSize);
}

} // namespace quillon::console
