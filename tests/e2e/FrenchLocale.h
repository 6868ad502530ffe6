#pragma once
// A French locale for one test: compiled with localedef into a private directory, since
// the machine may have no French locale installed. The console finds it through LOCPATH.
#include <filesystem>
#include <string>

namespace quillon::e2e {

/// The locale's name under LOCPATH = dir.
inline constexpr const char* kFrenchLocale = "fr_FR.UTF-8";

/// Compiles the locale into dir; the empty text on success, else why it cannot be had.
std::string MakeFrenchLocale(const std::filesystem::path& dir);

} // namespace quillon::e2e
