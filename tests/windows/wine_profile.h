#pragma once
// Where Wine's serial layer differs from Windows in what the real-port suite sees: each
// difference is named here, once, and the tests accept Windows' outcome and Wine's through
// these functions, never by skipping. The backend already makes the others alike (see
// platform/win32/Win32Device.cpp): mask-change wakes, abort purges, read time-outs, and
// device loss reported to every request.
namespace quillon::wintest {

/// Whether the suite runs under Wine (its ntdll exports wine_get_version).
bool UnderWine();

/// EV_RXCHAR: Windows reports it once per arrival; Wine again while input stays queued.
inline bool RxCharRepeatsWhileQueued() {
    return UnderWine();
}

/// A hang-up: Windows ends the pending event wait itself; Wine never does, and the loss is
/// seen by the next request (a write fails with ERROR_NOT_READY, a read with
/// ERROR_BROKEN_PIPE), which the backend passes on to the wait.
inline bool WaitEndsOnHangUp() {
    return !UnderWine();
}

} // namespace quillon::wintest
