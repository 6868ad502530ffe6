// The system's own text for a last-error code, in the user's language, as UTF-8.
#include "platform/WinApi.h"
#include "platform/win32/Win32Text.h"

#include <windows.h>

namespace qwin {

std::string SysErrorMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || !text) return "System error " + std::to_string(code);
    std::wstring message(text, n);
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return detail::Narrow(message);
}

} // namespace qwin
