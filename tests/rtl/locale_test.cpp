#include "rtl/Exceptions.h"
#include "rtl/Locale.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

using rtl::TFormatSettings;

TFormatSettings French() {
    TFormatSettings fs;
    fs.ShortDateFormat = "%d/%m/%Y";
    fs.LongTimeFormat = "%H:%M:%S";
    fs.DecimalSeparator = ',';
    return fs;
}

rtl::TDateTime LocalTime(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

TEST(DateTimeToStr, ShortDateSpaceLongTime) {
    EXPECT_EQ(rtl::DateTimeToStr(LocalTime(2026, 12, 6, 3, 25, 6), French()),
              "06/12/2026 03:25:06");
    EXPECT_EQ(rtl::DateTimeToStr(LocalTime(2026, 12, 6, 15, 4, 5), TFormatSettings{}),
              "12/06/26 15:04:05");
}

TEST(DateTimeToStr, MidnightLeavesTheTimeOut) {
    EXPECT_EQ(rtl::DateTimeToStr(LocalTime(2026, 12, 6, 0, 0, 0), French()), "06/12/2026");
    EXPECT_EQ(rtl::DateTimeToStr(LocalTime(2026, 12, 6, 0, 0, 1), French()), "06/12/2026 00:00:01");
}

TEST(StrToFloat, FollowsTheDecimalSeparatorOfTheSettings) {
    EXPECT_DOUBLE_EQ(rtl::StrToFloat("23,5", French()), 23.5);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat("23.5", TFormatSettings{}), 23.5);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(" -1,25E2 ", French()), -125.0);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat("+7", French()), 7.0);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat("12", French()), 12.0);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(",5", French()), 0.5);
}

TEST(StrToFloat, RefusesAnythingButAWholeNumber) {
    // The foreign separator must not be read as the end of the number.
    EXPECT_THROW(rtl::StrToFloat("23.5", French()), rtl::EConvertError);
    EXPECT_THROW(rtl::StrToFloat("23,5", TFormatSettings{}), rtl::EConvertError);
    for (const char* bad : {"", " ", "-", "e5", "1e", "1e+", "12abc", "1,2,3", "1 2", "nan", "inf"})
        EXPECT_THROW(rtl::StrToFloat(bad, French()), rtl::EConvertError) << bad;
    double v = 42;
    EXPECT_FALSE(rtl::TryStrToFloat("x", v, French()));
    EXPECT_EQ(v, 42); // untouched on failure
}

TEST(StrToFloat, ErrorMessageNamesTheText) {
    try {
        rtl::StrToFloat("abc", French());
        FAIL() << "no exception";
    } catch (const rtl::EConvertError& e) {
        EXPECT_NE(e.Message().find("'abc'"), std::string::npos);
    }
}

TEST(FormatSettings, UnknownLocaleFallsBackToTheCLocale) {
    TFormatSettings fs = TFormatSettings::FromLocale("xx_NOPE.UTF-8");
    EXPECT_EQ(fs.DecimalSeparator, '.');
    EXPECT_EQ(fs.ShortDateFormat, "%m/%d/%y");
    EXPECT_EQ(fs.LongTimeFormat, "%H:%M:%S");
}

} // namespace
