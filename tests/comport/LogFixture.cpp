#include "LogFixture.h"

#include <ctime>
#include <fstream>
#include <sstream>

namespace quillon::test {

rtl::TDateTime FixedNow() {
    return std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} + std::chrono::hours{3} +
           std::chrono::minutes{25} + std::chrono::seconds{6};
}

void LogFixture::SetUp() {
    FTz.emplace("TZ", "UTC");
    ::tzset();
    rtl::SetNowOverride(&FixedNow);
    rtl::TFormatSettings fs;
    fs.ShortDateFormat = "%d/%m/%Y";
    fs.LongTimeFormat = "%H:%M:%S";
    rtl::SetFormatSettings(fs);
}

void LogFixture::TearDown() {
    rtl::SetNowOverride(nullptr);
    rtl::SetFormatSettings(rtl::TFormatSettings::FromEnvironment());
    FTz.reset();
    ::tzset();
}

std::string LogFixture::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace quillon::test
