// Regional settings from Windows' locale data, turned into the strftime forms rtl keeps.
#include "rtl/LocaleOs.h"

#include <windows.h>

#include <string>

namespace rtl {

namespace {

// Windows writes "dd/MM/yyyy" and "HH:mm:ss"; quoted text stays literal.
std::string ToStrftime(const std::wstring& picture) {
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const wchar_t c = picture[i];
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        switch (c) {
        case L'd':
            out += run <= 2 ? "%d" : run == 3 ? "%a" : "%A";
            break;
        case L'M':
            out += run <= 2 ? "%m" : run == 3 ? "%b" : "%B";
            break;
        case L'y':
            out += run <= 2 ? "%y" : "%Y";
            break;
        case L'H':
            out += "%H";
            break;
        case L'h':
            out += "%I";
            break;
        case L'm':
            out += "%M";
            break;
        case L's':
            out += "%S";
            break;
        case L't':
            out += "%p";
            break;
        case L'g':
            break; // era: strftime has none
        case L'\'': {
            const size_t end = picture.find(L'\'', i + 1);
            for (size_t k = i + 1; k < (end == std::wstring::npos ? picture.size() : end); ++k)
                out += picture[k] == L'%' ? std::string("%%") : std::string(1, char(picture[k]));
            run = (end == std::wstring::npos ? picture.size() : end + 1) - i;
            break;
        }
        default:
            for (size_t k = 0; k < run; ++k)
                out += c == L'%' ? std::string("%%") : std::string(1, char(c));
        }
        i += run;
    }
    return out;
}

bool Info(const wchar_t* locale, LCTYPE type, std::wstring& value) {
    wchar_t buf[128];
    const int n = ::GetLocaleInfoEx(locale, type, buf, 128);
    if (n <= 1) return false;
    value.assign(buf, static_cast<size_t>(n - 1));
    return true;
}

TFormatSettings Build(const wchar_t* locale) {
    TFormatSettings fs;
    std::wstring v;
    if (Info(locale, LOCALE_SSHORTDATE, v)) fs.ShortDateFormat = ToStrftime(v);
    if (Info(locale, LOCALE_STIMEFORMAT, v)) fs.LongTimeFormat = ToStrftime(v);
    if (Info(locale, LOCALE_SDECIMAL, v) && v.size() == 1 && v[0] < 0x80)
        fs.DecimalSeparator = static_cast<char>(v[0]);
    return fs;
}

} // namespace

TFormatSettings TFormatSettings::FromEnvironment() {
    return Build(LOCALE_NAME_USER_DEFAULT);
}

TFormatSettings TFormatSettings::FromLocale(const char* name) {
    // A POSIX name ("fr_FR.UTF-8") as Windows writes it ("fr-FR").
    std::wstring tag;
    for (const char* p = name; p && *p && *p != '.' && *p != '@'; ++p)
        tag += *p == '_' ? L'-' : static_cast<wchar_t>(*p);
    if (tag.empty() || tag == L"C" || tag == L"POSIX" || !::IsValidLocaleName(tag.c_str()))
        return {};
    return Build(tag.c_str());
}

namespace detail {

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

} // namespace detail

} // namespace rtl
