// Process priority classes: Windows' own.
#include "platform/core/Device.h"

#include <windows.h>

namespace qwin {

namespace {
// Not a table entry: only GetPriorityClass and SetPriorityClass accept it.
constexpr qwin::HANDLE CurrentProcess = ~qwin::HANDLE(0) - 1;
} // namespace

qwin::HANDLE GetCurrentProcess() {
    return CurrentProcess;
}

DWORD GetPriorityClass(qwin::HANDLE process) {
    if (process != CurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const DWORD cls = ::GetPriorityClass(::GetCurrentProcess());
    if (cls == 0) SetLastError(::GetLastError());
    return cls;
}

BOOL SetPriorityClass(qwin::HANDLE process, DWORD cls) {
    if (process != CurrentProcess) return detail::Fail(ERROR_INVALID_HANDLE);
    if (!::SetPriorityClass(::GetCurrentProcess(), cls)) return detail::Fail(::GetLastError());
    return TRUE;
}

} // namespace qwin
