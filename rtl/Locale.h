#pragma once
// Regional settings: date-time text and number parsing as the user's locale says.
#include <chrono>
#include <string>

namespace rtl {

/// The parts of a locale the components use.
struct TFormatSettings {
    std::string ShortDateFormat = "%m/%d/%y"; ///< strftime form
    std::string LongTimeFormat = "%H:%M:%S";  ///< strftime form
    /// The character between the whole and the fractional part of a number.
    char DecimalSeparator = '.';

    /// From the user's environment (LC_TIME, LC_NUMERIC, LC_ALL, LANG); the C locale's
    /// values where it names none or one that is not installed.
    static TFormatSettings FromEnvironment();
    /// From a named locale (e.g. "fr_FR.UTF-8"); C values if it cannot be loaded.
    static TFormatSettings FromLocale(const char* name);
};

/// The settings in effect: the environment's unless a program or a test set others.
const TFormatSettings& FormatSettings();
/// Makes fs the settings in effect.
void SetFormatSettings(const TFormatSettings& fs);

/// A point in time.
using TDateTime = std::chrono::system_clock::time_point;

/// The current time; a test may fix it.
TDateTime Now();
/// Makes Now return fn(); none restores the clock.
void SetNowOverride(TDateTime (*fn)());

/// Short date, a space, long time (local time); at exactly midnight the time is left out.
std::string DateTimeToStr(TDateTime t, const TFormatSettings& fs = FormatSettings());

/// Optional sign, digits, optional separator and fraction, optional exponent; blanks
/// around are allowed. The whole text must be a number, else EConvertError.
double StrToFloat(const std::string& text, const TFormatSettings& fs = FormatSettings());
/// Like StrToFloat, but returns false instead of raising.
bool TryStrToFloat(const std::string& text, double& value,
                   const TFormatSettings& fs = FormatSettings());

} // namespace rtl
