#include "platform/WinApi.h"
#include "rtl/Exceptions.h"

namespace qwin {

std::string SysErrorMessage(DWORD code) {
    // The two request-state codes lie beyond errno's range, where strerror knows nothing.
    if (code == ERROR_IO_PENDING) return "I/O operation in progress";
    if (code == ERROR_IO_INCOMPLETE) return "I/O operation not yet complete";
    return rtl::SysErrorMessage(static_cast<int>(code));
}

} // namespace qwin
