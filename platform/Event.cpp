#include "platform/Device.h"

#include <chrono>

namespace qwin::detail {

void Event::Set() {
    {
        std::lock_guard lock(mu_);
        set_ = true;
    }
    // Everyone wakes; an auto-reset event then lets exactly one of them consume it.
    cv_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(mu_);
    set_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(mu_);
    return set_;
}

DWORD Event::Wait(DWORD ms) {
    std::unique_lock lock(mu_);
    auto isSet = [this] { return set_; };
    if (ms == INFINITE)
        cv_.wait(lock, isSet);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), isSet))
        return WAIT_TIMEOUT;
    if (!manual_) set_ = false;
    return WAIT_OBJECT_0;
}

} // namespace qwin::detail

namespace qwin {

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char16_t* name) {
    // Named events would be shared between processes; nothing here needs them.
    if (name && *name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return detail::AddEvent(
        std::make_shared<detail::Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE h) {
    auto ev = detail::FindEvent(h);
    if (!ev) return detail::Fail(ERROR_INVALID_HANDLE);
    ev->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    auto ev = detail::FindEvent(h);
    if (!ev) return detail::Fail(ERROR_INVALID_HANDLE);
    ev->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) {
    auto ev = detail::FindEvent(h);
    if (!ev) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return ev->Wait(ms);
}

} // namespace qwin
