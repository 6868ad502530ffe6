// Byte transfer: one asynchronous request per direction, completed by the next request of
// that direction or by an explicit completion call.
#include "comport/ComPort.h"

#include <algorithm>
#include <string>

namespace quillon {

namespace {
using namespace qwin;

string DecimalText(int32_t value) {
    std::string digits = std::to_string(value);
    return string(digits.begin(), digits.end());
}

// Points buffer at a port-owned copy of its count bytes, so that a completion line written
// later never reads memory the caller has since taken back.
void KeepForLog(std::vector<uint8_t>& copy, const void*& buffer, uint32_t count) {
    if (count == 0 || !buffer || buffer == copy.data()) return;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    copy.assign(bytes, bytes + count);
    buffer = copy.data();
}

// The bytes an ended request moved, from its record: a transfer cut short by its time-out
// logs those alone, not the rest of the caller's buffer.
int32_t Moved(const OVERLAPPED& ov, uint32_t requested) {
    return static_cast<int32_t>(std::min<uintptr_t>(ov.InternalHigh, requested));
}

// A request that went pending is checked even when it ended before the completion step
// looked: its time-out may run out in between. An aborted one has nothing to report.
bool EndedShort(const OVERLAPPED& ov, uint32_t requested) {
    return ov.Internal == ERROR_SUCCESS && ov.InternalHigh != requested;
}

} // namespace

void TCustomComPort::Read(void* Buf, int32_t Count, bool WaitForCompletion) {
    CheckOpen();
    if (Count < 0 || (Count > 0 && !Buf))
        RaiseError(ERROR_INVALID_PARAMETER, SysErrorMessage(ERROR_INVALID_PARAMETER));
    if (FBeforeRead) FBeforeRead(this, Buf, Count, WaitForCompletion);
    WaitForReadCompletion();
    FRequestedReadCount = static_cast<uint32_t>(Count);
    FRequestedReadBuffer = Buf;
    if (Count != 0) {
        FReadOverlapped = {};
        FReadOverlapped.hEvent = FReadEventHandle;
        try {
            CheckResult(ResetEvent(FReadEventHandle));
            if (LogEnabled()) Log(u"Read request " + DecimalText(Count) + u" byte(s)");
            const BOOL atOnce =
                ReadFile(FHandle, Buf, static_cast<DWORD>(Count), nullptr, &FReadOverlapped);
            FReadWentPending = !atOnce && GetLastError() == ERROR_IO_PENDING;
            CheckResult(atOnce);
        } catch (...) {
            // Nothing was started: the direction is idle again, with nothing to complete.
            SetEvent(FReadEventHandle);
            FRequestedReadCount = 0;
            FRequestedReadBuffer = nullptr;
            throw;
        }
        if (WaitForCompletion) WaitForReadCompletion();
    }
    if (FAfterRead) FAfterRead(this, Buf, Count, WaitForCompletion);
}

void TCustomComPort::Write(const void* Buf, int32_t Count, bool WaitForCompletion) {
    CheckOpen();
    if (Count < 0 || (Count > 0 && !Buf))
        RaiseError(ERROR_INVALID_PARAMETER, SysErrorMessage(ERROR_INVALID_PARAMETER));
    if (FBeforeWrite) FBeforeWrite(this, Buf, Count, WaitForCompletion);
    WaitForWriteCompletion();
    FRequestedWriteCount = static_cast<uint32_t>(Count);
    FRequestedWriteBuffer = Buf;
    if (Count != 0) {
        FWriteOverlapped = {};
        FWriteOverlapped.hEvent = FWriteEventHandle;
        try {
            CheckResult(ResetEvent(FWriteEventHandle));
            if (LogEnabled()) Log(u"Write request ", Buf, Count);
            const void* data = Buf;
            if (!WaitForCompletion) {
                // The caller may reuse its memory at once; the device sends from our copy.
                const auto* bytes = static_cast<const uint8_t*>(Buf);
                FBuffer.assign(bytes, bytes + Count);
                data = FRequestedWriteBuffer = FBuffer.data();
            }
            const BOOL atOnce =
                WriteFile(FHandle, data, static_cast<DWORD>(Count), nullptr, &FWriteOverlapped);
            FWriteWentPending = !atOnce && GetLastError() == ERROR_IO_PENDING;
            CheckResult(atOnce);
        } catch (...) {
            SetEvent(FWriteEventHandle);
            FRequestedWriteCount = 0;
            FRequestedWriteBuffer = nullptr;
            throw;
        }
        if (WaitForCompletion) WaitForWriteCompletion();
    }
    if (FAfterWrite) FAfterWrite(this, Buf, Count, WaitForCompletion);
}

void TCustomComPort::WaitForReadCompletion() {
    try {
        const bool wentPending = FReadWentPending;
        FReadWentPending = false;
        if (ReadPending()) {
            DWORD done = 0;
            CheckResult(GetOverlappedResult(FHandle, &FReadOverlapped, &done, TRUE));
            if (done != FRequestedReadCount) RaiseError(0, STimeout);
        } else if (wentPending && EndedShort(FReadOverlapped, FRequestedReadCount)) {
            RaiseError(0, STimeout);
        }
        CheckLineErrors();
    } catch (...) {
        // The request stays recorded for the next completion step, which logs it.
        KeepForLog(FReadCopy, FRequestedReadBuffer, FRequestedReadCount);
        throw;
    }
    // Forgotten before its line is written: a request is completed once, logged or not.
    uint32_t count = FRequestedReadCount;
    const void* buffer = FRequestedReadBuffer;
    FRequestedReadCount = 0;
    FRequestedReadBuffer = nullptr;
    if (count > 0 && LogEnabled()) Log(u"Read complete ", buffer, Moved(FReadOverlapped, count));
}

void TCustomComPort::WaitForWriteCompletion() {
    try {
        const bool wentPending = FWriteWentPending;
        FWriteWentPending = false;
        if (WritePending()) {
            DWORD done = 0;
            CheckResult(GetOverlappedResult(FHandle, &FWriteOverlapped, &done, TRUE));
            if (done != FRequestedWriteCount) RaiseError(0, STimeout);
        } else if (wentPending && EndedShort(FWriteOverlapped, FRequestedWriteCount)) {
            RaiseError(0, STimeout);
        }
        CheckLineErrors();
    } catch (...) {
        // The write has ended, so FBuffer is free to hold the bytes of its later line.
        KeepForLog(FBuffer, FRequestedWriteBuffer, FRequestedWriteCount);
        throw;
    }
    uint32_t count = FRequestedWriteCount;
    const void* buffer = FRequestedWriteBuffer;
    FRequestedWriteCount = 0;
    FRequestedWriteBuffer = nullptr;
    if (count > 0 && LogEnabled()) Log(u"Write complete ", buffer, Moved(FWriteOverlapped, count));
}

bool TCustomComPort::ReadPending() const {
    return FReadEventHandle != 0 && WaitForSingleObject(FReadEventHandle, 0) == WAIT_TIMEOUT;
}

bool TCustomComPort::WritePending() const {
    return FWriteEventHandle != 0 && WaitForSingleObject(FWriteEventHandle, 0) == WAIT_TIMEOUT;
}

} // namespace quillon
