#include "LogFixture.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

namespace quillon::test {

rtl::TDateTime FixedNow() {
    return std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} + std::chrono::hours{3} +
           std::chrono::minutes{25} + std::chrono::seconds{6};
}

void LogFixture::SetUp() {
    if (const char* tz = ::getenv("TZ")) {
        FHadTz = true;
        FOldTz = tz;
    }
    ::setenv("TZ", "UTC", 1);
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
    if (FHadTz)
        ::setenv("TZ", FOldTz.c_str(), 1);
    else
        ::unsetenv("TZ");
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
