#include "rtl/Exceptions.h"

#include <system_error>

namespace rtl {

void Abort() {
    throw EAbort();
}

std::string SysErrorMessage(int code) {
    // The C library's text (strerror's), thread-safe, on every system.
    return std::generic_category().message(code);
}

} // namespace rtl
