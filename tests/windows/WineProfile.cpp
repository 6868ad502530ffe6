#include "wine_profile.h"

#include <windows.h>

namespace quillon::wintest {

bool UnderWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

} // namespace quillon::wintest
