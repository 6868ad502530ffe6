#pragma once
// Inside rtl: what regional settings need from the operating system (one source per
// system, chosen in CMake, which also defines TFormatSettings' FromEnvironment and
// FromLocale).
#include "rtl/Locale.h"

#include <ctime>

namespace rtl::detail {

/// t as the local time of the machine.
std::tm LocalTime(std::time_t t);

} // namespace rtl::detail
