// The communications calls: find the device behind the handle, check the arguments a
// backend should never see, forward.
#include "platform/core/Device.h"
#include "platform/core/LockRank.h"

namespace qwin {

namespace {

template <class F> BOOL OnDevice(HANDLE h, F&& f) {
    // Outlives dev: dropping the last owner closes the device.
    const detail::TRankHold rank(detail::TLockRank::Device);
    auto dev = detail::FindDevice(h);
    if (!dev) return detail::Fail(ERROR_INVALID_HANDLE);
    return f(*dev) ? TRUE : FALSE;
}

} // namespace

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) {
    return OnDevice(h, [&](detail::Device& d) { return d.SetupComm(inQueue, outQueue); });
}

BOOL GetCommState(HANDLE h, DCB& dcb) {
    return OnDevice(h, [&](detail::Device& d) { return d.GetState(dcb); });
}

BOOL SetCommState(HANDLE h, const DCB& dcb) {
    return OnDevice(h, [&](detail::Device& d) { return d.SetState(dcb); });
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS& t) {
    return OnDevice(h, [&](detail::Device& d) { return d.GetTimeouts(t); });
}

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    return OnDevice(h, [&](detail::Device& d) { return d.SetTimeouts(t); });
}

BOOL SetCommMask(HANDLE h, DWORD mask) {
    return OnDevice(h, [&](detail::Device& d) { return d.SetMask(mask); });
}

BOOL GetCommMask(HANDLE h, DWORD& mask) {
    return OnDevice(h, [&](detail::Device& d) { return d.GetMask(mask); });
}

BOOL WaitCommEvent(HANDLE h, DWORD* events, OVERLAPPED* ov) {
    return OnDevice(h, [&](detail::Device& d) {
        return events ? d.WaitEvent(events, ov) : detail::Fail(ERROR_INVALID_PARAMETER);
    });
}

BOOL ReadFile(HANDLE h, void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    return OnDevice(h, [&](detail::Device& d) {
        if (!buf && count) return detail::Fail(ERROR_INVALID_PARAMETER);
        return d.Read(buf, count, done, ov);
    });
}

BOOL WriteFile(HANDLE h, const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    return OnDevice(h, [&](detail::Device& d) {
        if (!buf && count) return detail::Fail(ERROR_INVALID_PARAMETER);
        return d.Write(buf, count, done, ov);
    });
}

BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) {
    return OnDevice(h, [&](detail::Device& d) {
        if (!ov || !done) return detail::Fail(ERROR_INVALID_PARAMETER);
        return d.OverlappedResult(ov, done, wait != FALSE);
    });
}

BOOL PurgeComm(HANDLE h, DWORD flags) {
    return OnDevice(h, [&](detail::Device& d) {
        constexpr DWORD all = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
        return (flags & ~all) ? detail::Fail(ERROR_INVALID_PARAMETER) : d.Purge(flags);
    });
}

BOOL FlushFileBuffers(HANDLE h) {
    return OnDevice(h, [&](detail::Device& d) { return d.Flush(); });
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
    return OnDevice(h, [&](detail::Device& d) { return d.ClearError(errors, stat); });
}

BOOL EscapeCommFunction(HANDLE h, DWORD func) {
    return OnDevice(h, [&](detail::Device& d) { return d.Escape(func); });
}

BOOL SetCommBreak(HANDLE h) {
    return EscapeCommFunction(h, SETBREAK);
}

BOOL ClearCommBreak(HANDLE h) {
    return EscapeCommFunction(h, CLRBREAK);
}

BOOL TransmitCommChar(HANDLE h, char c) {
    return OnDevice(h, [&](detail::Device& d) { return d.TransmitChar(c); });
}

BOOL SetCommLowLatency(HANDLE h, BOOL on) {
    return OnDevice(h, [&](detail::Device& d) { return d.LowLatency(on != FALSE); });
}

BOOL GetCommModemStatus(HANDLE h, DWORD* status) {
    return OnDevice(h, [&](detail::Device& d) {
        return status ? d.ModemStatus(status) : detail::Fail(ERROR_INVALID_PARAMETER);
    });
}

BOOL GetCommProperties(HANDLE h, COMMPROP& prop) {
    return OnDevice(h, [&](detail::Device& d) { return d.Properties(prop); });
}

} // namespace qwin
