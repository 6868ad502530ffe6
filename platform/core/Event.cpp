#include "platform/core/Device.h"
#include "platform/core/LockRank.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace qwin::detail {

void Event::Set() {
    {
        TRankHold rank(TLockRank::Event);
        std::lock_guard lock(mu_);
        set_ = true;
        pump_.reset();
    }
    // Everyone wakes; an auto-reset event then lets exactly one of them consume it.
    cv_.notify_all();
}

void Event::Reset() {
    TRankHold rank(TLockRank::Event);
    std::lock_guard lock(mu_);
    set_ = false;
}

bool Event::IsSet() const {
    TRankHold rank(TLockRank::Event);
    std::lock_guard lock(mu_);
    return set_;
}

bool Event::TryTake() {
    TRankHold rank(TLockRank::Event);
    std::lock_guard lock(mu_);
    if (!set_) return false;
    if (!manual_) set_ = false;
    return true;
}

void Event::Attach(std::weak_ptr<Pump> pump) {
    {
        TRankHold rank(TLockRank::Event);
        std::lock_guard lock(mu_);
        pump_ = std::move(pump);
    }
    cv_.notify_all(); // a thread already waiting becomes the driver
}

void Event::Detach(const Pump* pump) {
    TRankHold rank(TLockRank::Event);
    std::lock_guard lock(mu_);
    if (pump_.lock().get() == pump) pump_.reset();
}

DWORD Event::Wait(DWORD ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
    std::optional<TRankHold> rank(std::in_place, TLockRank::Event);
    std::unique_lock lock(mu_);
    for (;;) {
        if (set_) {
            if (!manual_) set_ = false;
            return WAIT_OBJECT_0;
        }
        const DWORD left =
            ms == INFINITE
                ? INFINITE
                : DWORD(std::max<long long>(
                      0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now())
                             .count()));
        if (auto pump = pump_.lock()) {
            lock.unlock();
            rank.reset();
            std::optional<DWORD> result;
            {
                TRankHold driving(TLockRank::Device);
                result = pump->Await(*this, left);
                // Perhaps the device's last owner: its close takes the device's lock, which
                // is held while it resets events, so never under ours.
                pump.reset();
            }
            if (result) return *result;
            rank.emplace(TLockRank::Event);
            lock.lock(); // the pump detached itself: its requests are over
            continue;
        }
        if (ms == INFINITE)
            cv_.wait(lock);
        else if (left == 0)
            return WAIT_TIMEOUT;
        else
            cv_.wait_until(lock, deadline);
    }
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
