#include "rtl/Exceptions.h"

#include <cstring>

namespace rtl {

void Abort() { throw EAbort(); }

std::string SysErrorMessage(int code) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    return text ? std::string(text) : std::string();
}

} // namespace rtl
