// Regional settings from POSIX locales (LC_TIME, LC_NUMERIC).
#include "rtl/LocaleOs.h"

#include <langinfo.h>
#include <locale.h>

namespace rtl {

namespace {

// Fills the time fields from one locale and the separator from another.
TFormatSettings Build(locale_t timeLoc, locale_t numLoc) {
    TFormatSettings fs;
    if (timeLoc) {
        fs.ShortDateFormat = nl_langinfo_l(D_FMT, timeLoc);
        fs.LongTimeFormat = nl_langinfo_l(T_FMT, timeLoc);
    }
    if (numLoc) {
        const char* radix = nl_langinfo_l(RADIXCHAR, numLoc);
        if (radix && radix[0] && !radix[1]) fs.DecimalSeparator = radix[0];
    }
    if (fs.ShortDateFormat.empty()) fs.ShortDateFormat = "%m/%d/%y";
    if (fs.LongTimeFormat.empty()) fs.LongTimeFormat = "%H:%M:%S";
    return fs;
}

} // namespace

TFormatSettings TFormatSettings::FromEnvironment() {
    locale_t t = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    locale_t n = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    TFormatSettings fs = Build(t, n);
    if (t) freelocale(t);
    if (n) freelocale(n);
    return fs;
}

TFormatSettings TFormatSettings::FromLocale(const char* name) {
    locale_t l = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
    TFormatSettings fs = Build(l, l);
    if (l) freelocale(l);
    return fs;
}

namespace detail {

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace detail

} // namespace rtl
