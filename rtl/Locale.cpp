#include "rtl/Locale.h"

#include "rtl/Exceptions.h"
#include "rtl/LocaleOs.h"

#include <cmath>
#include <ctime>
#include <mutex>

namespace rtl {

namespace {

std::mutex g_mu;
bool g_set = false;
TFormatSettings g_settings;
TDateTime (*g_now)() = nullptr;

} // namespace

const TFormatSettings& FormatSettings() {
    std::lock_guard lock(g_mu);
    if (!g_set) {
        g_settings = TFormatSettings::FromEnvironment();
        g_set = true;
    }
    return g_settings;
}

void SetFormatSettings(const TFormatSettings& fs) {
    std::lock_guard lock(g_mu);
    g_settings = fs;
    g_set = true;
}

TDateTime Now() {
    return g_now ? g_now() : std::chrono::system_clock::now();
}

void SetNowOverride(TDateTime (*fn)()) {
    g_now = fn;
}

std::string DateTimeToStr(TDateTime t, const TFormatSettings& fs) {
    std::time_t tt = std::chrono::system_clock::to_time_t(t);
    const std::tm tm = detail::LocalTime(tt);
    bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
    std::string format = fs.ShortDateFormat;
    if (!midnight) format += " " + fs.LongTimeFormat;
    char buf[256];
    size_t n = std::strftime(buf, sizeof buf, format.c_str(), &tm);
    return std::string(buf, n);
}

bool TryStrToFloat(const std::string& text, double& value, const TFormatSettings& fs) {
    size_t i = 0, n = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < n && blank(text[i]))
        ++i;
    while (n > i && blank(text[n - 1]))
        --n;
    // Parsed by hand: strtod follows the process locale, which is not ours to trust.
    bool neg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    double mant = 0;
    int digits = 0, scale = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        mant = mant * 10 + (text[i++] - '0');
        ++digits;
    }
    if (i < n && text[i] == fs.DecimalSeparator) {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            mant = mant * 10 + (text[i++] - '0');
            ++digits;
            --scale;
        }
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
        int e = 0, edigits = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            if (e < 100000) e = e * 10 + (text[i] - '0');
            ++i;
            ++edigits;
        }
        if (edigits == 0) return false;
        scale += eneg ? -e : e;
    }
    if (i != n) return false;
    // Exact for the short decimals the files hold: 23.5 = 235 / 10.
    double v = scale < 0 ? mant / std::pow(10.0, -scale) : mant * std::pow(10.0, scale);
    if (std::isinf(v)) return false;
    value = neg ? -v : v;
    return true;
}

double StrToFloat(const std::string& text, const TFormatSettings& fs) {
    double v = 0;
    if (!TryStrToFloat(text, v, fs))
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

} // namespace rtl
