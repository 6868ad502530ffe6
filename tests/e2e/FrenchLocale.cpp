#include "FrenchLocale.h"

#include "tests/support/ChildProcess.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <stdexcept>

namespace quillon::e2e {

namespace {

using quillon_test::TChildProcess;
using quillon_test::TClock;

// The decimal separator glibc reads from the locale under LOCPATH = dir.
std::string DecimalSeparator(const std::filesystem::path& dir) {
    const char* old = std::getenv("LOCPATH");
    const std::string saved = old ? old : "";
    ::setenv("LOCPATH", dir.c_str(), 1);
    locale_t french = ::newlocale(LC_NUMERIC_MASK, kFrenchLocale, static_cast<locale_t>(0));
    old ? ::setenv("LOCPATH", saved.c_str(), 1) : ::unsetenv("LOCPATH");
    if (!french) return {};
    const std::string separator = ::nl_langinfo_l(RADIXCHAR, french);
    ::freelocale(french);
    return separator;
}

} // namespace

std::string MakeFrenchLocale(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const auto deadline = TClock::now() + std::chrono::seconds(120);
    std::optional<int> code;
    try {
        TChildProcess localedef(
            {"localedef", "-i", "fr_FR", "-f", "UTF-8", (dir / kFrenchLocale).string()});
        while (localedef.ReadLine(deadline).State == TChildProcess::TLine::lsLine) {
        }
        code = localedef.Wait(deadline);
    } catch (const std::exception& e) {
        return e.what();
    }
    // 1 means warnings only: the locale was written.
    if (!code || *code > 1)
        return "localedef -i fr_FR -f UTF-8 failed (" +
               (code ? "status " + std::to_string(*code) : std::string("no end")) + ")";
    const std::string separator = DecimalSeparator(dir);
    if (separator != ",") return "the compiled locale's decimal separator is \"" + separator + "\"";
    return {};
}

} // namespace quillon::e2e
