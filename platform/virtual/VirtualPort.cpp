// Requests, events and line control of an open virtual end; settings are in
// VirtualPortSettings.cpp. Every call locks the pair, counts itself and then acts on the
// model in PairState.
#include "platform/virtual/VirtualPort.h"

namespace qvirt::detail {

using namespace qwin;
using qwin::detail::Fail;

using qwin::detail::TRequestKind;

TVirtualPort::TVirtualPort(std::shared_ptr<TPairState> pair, int index, unsigned generation)
    : FPair(std::move(pair)), FIndex(index), FGeneration(generation) {}

// The handle table always calls Close first; this covers a port dropped without it.
TVirtualPort::~TVirtualPort() {
    Close();
}

bool TVirtualPort::Enter(Lock& lock, unsigned TDriverCalls::*counter) {
    lock = Lock(FPair->Mutex);
    ++(End().Calls.*counter);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    if (!FPair->Alive(FIndex, FGeneration)) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

void TVirtualPort::AwaitFinished(Lock& lock, const TRequestPtr& r) {
    // Closing and unplugging finish every request, so this cannot outlive the open.
    FPair->Changed.wait(lock, [&] { return r->Finished; });
}

bool TVirtualPort::Run(Lock& lock, const TRequestPtr& r, DWORD* done) {
    FPair->Submit(FIndex, r);
    if (!r->Overlapped) AwaitFinished(lock, r);
    return TRequestEngine::Answer(*r, done);
}

bool TVirtualPort::SetMask(DWORD mask) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::SetCommMask)) return false;
    return End().Requests.SetMask(mask);
}

bool TVirtualPort::GetMask(DWORD& mask) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetCommMask)) return false;
    mask = End().Requests.Mask();
    return true;
}

bool TVirtualPort::WaitEvent(DWORD* events, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Wait, ov, 0);
    Lock lock;
    if (!Enter(lock, &TDriverCalls::WaitCommEvent)) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    const auto& requests = End().Requests;
    // One wait at a time, and only for something.
    if (!events || requests.Mask() == 0 || requests.Waiting()) return Fail(ERROR_INVALID_PARAMETER);
    r->Events = events;
    return Run(lock, r, nullptr);
}

bool TVirtualPort::Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Read, ov, count);
    Lock lock;
    if (!Enter(lock, &TDriverCalls::ReadFile)) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    if (!buf && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    if (End().ErrorAbort) return Fail(ERROR_OPERATION_ABORTED);
    r->ReadBuffer = static_cast<BYTE*>(buf);
    return Run(lock, r, done);
}

bool TVirtualPort::Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Write, ov, count);
    Lock lock;
    if (!Enter(lock, &TDriverCalls::WriteFile)) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    if (!buf && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    if (End().ErrorAbort) return Fail(ERROR_OPERATION_ABORTED);
    r->WriteBuffer = static_cast<const BYTE*>(buf);
    return Run(lock, r, done);
}

bool TVirtualPort::OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetOverlappedResult)) return false;
    if (!ov) return Fail(ERROR_INVALID_PARAMETER);
    if (const auto pending = End().Requests.Pending(ov)) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        AwaitFinished(lock, pending);
    }
    return TRequestEngine::Outcome(*ov, done);
}

bool TVirtualPort::Purge(DWORD flags) {
    constexpr DWORD All = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    Lock lock;
    if (!Enter(lock, &TDriverCalls::PurgeComm)) return false;
    if (flags & ~All) return Fail(ERROR_INVALID_PARAMETER);
    FPair->Purge(FIndex, flags);
    return true;
}

bool TVirtualPort::Flush() {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::FlushFileBuffers)) return false;
    FPair->Changed.wait(lock, [&] {
        return FClosed || !FPair->Alive(FIndex, FGeneration) || FPair->OutputEmpty(FIndex);
    });
    if (FClosed) return Fail(ERROR_OPERATION_ABORTED);
    if (!FPair->Alive(FIndex, FGeneration)) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

bool TVirtualPort::ClearError(DWORD* errors, COMSTAT* stat) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::ClearCommError)) return false;
    auto& end = End();
    if (errors) *errors = end.Errors;
    end.Errors = 0;
    end.ErrorAbort = false;
    if (stat) {
        const int peer = 1 - FIndex;
        *stat = COMSTAT{};
        stat->fCtsHold = end.State.fOutxCtsFlow && !FPair->EffectiveRts(peer);
        stat->fDsrHold = end.State.fOutxDsrFlow && !FPair->EffectiveDtr(peer);
        stat->fXoffHold = end.XoffHold;
        stat->fTxim = end.Immediate.has_value();
        stat->cbInQue = DWORD(end.Input.size());
        stat->cbOutQue = FPair->OutputCount(FIndex);
    }
    return true;
}

bool TVirtualPort::Escape(DWORD func) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::EscapeCommFunction)) return false;
    auto& end = End();
    switch (func) {
    case SETXOFF:
    case SETXON:
        end.XoffHold = func == SETXOFF;
        break;
    case SETRTS:
    case CLRRTS:
        // Under handshake or toggle the driver owns the line.
        if (end.State.fRtsControl == RTS_CONTROL_HANDSHAKE ||
            end.State.fRtsControl == RTS_CONTROL_TOGGLE)
            return Fail(ERROR_INVALID_PARAMETER);
        end.Rts = func == SETRTS;
        break;
    case SETDTR:
    case CLRDTR:
        if (end.State.fDtrControl == DTR_CONTROL_HANDSHAKE) return Fail(ERROR_INVALID_PARAMETER);
        end.Dtr = func == SETDTR;
        break;
    case SETBREAK:
        if (!end.Break) {
            end.Break = true;
            FPair->LineError(1 - FIndex, CE_BREAK);
        }
        break;
    case CLRBREAK:
        end.Break = false;
        break;
    default: // RESETDEV included: there is nothing to reset
        return Fail(ERROR_INVALID_PARAMETER);
    }
    FPair->Settle();
    return true;
}

bool TVirtualPort::TransmitChar(char c) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::TransmitCommChar)) return false;
    auto& end = End();
    if (end.Immediate) return Fail(ERROR_BUSY); // the previous one has not left yet
    end.Immediate = BYTE(c);
    end.Requests.Sent();
    FPair->Settle();
    return true;
}

bool TVirtualPort::ModemStatus(DWORD* status) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetCommModemStatus)) return false;
    if (!status) return Fail(ERROR_INVALID_PARAMETER);
    *status = FPair->ModemStatus(FIndex);
    return true;
}

void TVirtualPort::Close() {
    Lock lock(FPair->Mutex);
    if (FClosed) return;
    FClosed = true;
    ++End().Calls.Closes;
    if (FPair->Alive(FIndex, FGeneration)) FPair->CloseEnd(FIndex, ERROR_OPERATION_ABORTED);
}

} // namespace qvirt::detail
