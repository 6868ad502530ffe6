#include "platform/requests/RequestEngine.h"

#include <algorithm>

namespace qwin::detail {

namespace {

// Longer limits never expire in practice; leaving them out avoids clock overflow.
constexpr std::uint64_t LongestMs = std::uint64_t(1) << 40;

std::optional<Clock::time_point> After(Clock::time_point from, std::optional<std::uint64_t> ms) {
    if (!ms || *ms > LongestMs) return std::nullopt;
    return from + std::chrono::milliseconds(*ms);
}

bool Due(const std::optional<Clock::time_point>& deadline, Clock::time_point now) {
    return deadline && *deadline <= now;
}

void Earliest(std::optional<Clock::time_point>& best, const std::optional<Clock::time_point>& t) {
    if (t && (!best || *t < *best)) best = t;
}

// A read that wants more bytes straight into its buffer.
bool Wants(const TRequest& r) {
    return r.Started && r.Done < r.Count && !(r.Plan.OneByteEnough && r.Done > 0);
}

// A read ends when full, when its plan says the first byte or whatever was there at its
// start is enough, or when its total time runs out.
bool ReadComplete(const TRequest& r, bool fresh, Clock::time_point now) {
    return r.Done == r.Count || (fresh && r.Plan.ReturnAtOnce) ||
           (fresh && r.Plan.ReturnIfAny && r.Done > 0) || (r.Plan.OneByteEnough && r.Done > 0) ||
           Due(r.TotalDeadline, now);
}

} // namespace

TRequestPtr TRequestEngine::Make(TRequestKind kind, OVERLAPPED* ov, DWORD count) {
    auto r = std::make_shared<TRequest>();
    r->Kind = kind;
    r->Overlapped = ov;
    r->Count = count;
    // A zero handle means no event, as on Windows.
    if (ov && ov->hEvent) {
        r->Signal = FindEvent(ov->hEvent);
        if (!r->Signal) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    return r;
}

void TRequestEngine::Submit(const TRequestPtr& r) {
    if (r->Overlapped) {
        r->Overlapped->Internal = ERROR_IO_PENDING;
        r->Overlapped->InternalHigh = 0;
    }
    if (r->Signal) r->Signal->Reset();
    switch (r->Kind) {
    case TRequestKind::Read:
        if (r->Count == 0) return Finish(*r, 0);
        FReads.push_back(r);
        break;
    case TRequestKind::Write:
        if (r->Count == 0) return Finish(*r, 0);
        FWrites.push_back(r);
        FTxBusy = true;
        break;
    case TRequestKind::Wait:
        if (FHistory) {
            *r->Events = FHistory;
            FHistory = 0;
            return Finish(*r, 0);
        }
        FWait = r;
        break;
    }
}

bool TRequestEngine::SetTimeouts(const COMMTIMEOUTS& t) {
    // All three read members at MAXDWORD mean nothing; the Windows driver refuses them too.
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant == MAXDWORD)
        return Fail(ERROR_INVALID_PARAMETER);
    FTimeouts = t;
    return true;
}

bool TRequestEngine::Answer(const TRequest& r, DWORD* done) {
    if (!r.Finished) {
        if (done) *done = 0;
        return Fail(ERROR_IO_PENDING);
    }
    if (done) *done = r.Done;
    return r.Status == 0 || Fail(r.Status);
}

bool TRequestEngine::Outcome(const OVERLAPPED& ov, DWORD* done) {
    if (done) *done = DWORD(ov.InternalHigh);
    return ov.Internal == 0 || Fail(DWORD(ov.Internal));
}

TRequestPtr TRequestEngine::Pending(const OVERLAPPED* ov) const {
    for (const auto* q : {&FReads, &FWrites})
        for (const auto& r : *q)
            if (r->Overlapped == ov) return r;
    if (FWait && FWait->Overlapped == ov) return FWait;
    return nullptr;
}

bool TRequestEngine::Signals(const Event& ev) const {
    for (const auto* q : {&FReads, &FWrites})
        for (const auto& r : *q)
            if (r->Signal.get() == &ev) return true;
    return FWait && FWait->Signal.get() == &ev;
}

void TRequestEngine::Start(TRequest& r, Clock::time_point now) {
    r.Started = true;
    if (r.Kind == TRequestKind::Read) {
        r.Plan = PlanRead(FTimeouts, r.Count);
        r.TotalDeadline = After(now, r.Plan.TotalMs);
    } else {
        r.TotalDeadline = After(now, PlanWrite(FTimeouts, r.Count));
    }
}

DWORD TRequestEngine::ServeReads(TByteMover& mover, Clock::time_point now) {
    while (!FReads.empty()) {
        TRequest& r = *FReads.front();
        const bool fresh = !r.Started;
        if (fresh) Start(r, now);
        bool drained = false;
        while (Wants(r) && !drained) {
            const DWORD asked = r.Count - r.Done;
            const TMoved moved = mover.Receive(r.ReadBuffer + r.Done, asked);
            if (moved.Error) {
                const auto failed = FReads.front();
                FReads.pop_front();
                Finish(*failed, moved.Error);
                return moved.Error;
            }
            if (moved.Count > 0) {
                r.Done += moved.Count;
                r.IntervalDeadline = After(now, r.Plan.IntervalMs);
                const DWORD known = std::min(moved.Count, FReportedInput);
                FReportedInput -= known;
                FTakenUnreported |= moved.Count > known;
            }
            drained = moved.Count < asked;
        }
        if (!ReadComplete(r, fresh, now)) break;
        const auto done = FReads.front();
        FReads.pop_front();
        Finish(*done, 0);
    }
    return 0;
}

DWORD TRequestEngine::ServeWrites(TByteMover& mover, Clock::time_point now) {
    while (!FWrites.empty()) {
        TRequest& w = *FWrites.front();
        if (!w.Started) Start(w, now);
        const DWORD asked = w.Count - w.Done;
        const TMoved moved = mover.Send(w.WriteBuffer + w.Done, asked);
        w.Done += moved.Count;
        if (moved.Count > 0) FTxBusy = true;
        if (moved.Error || w.Done == w.Count) {
            const auto done = FWrites.front();
            FWrites.pop_front();
            Finish(*done, moved.Error);
            if (moved.Error) return moved.Error;
            continue;
        }
        break; // no room for more now
    }
    return 0;
}

bool TRequestEngine::Deliver(BYTE b, Clock::time_point now) {
    if (FReads.empty() || !Wants(*FReads.front())) return false;
    TRequest& r = *FReads.front();
    r.ReadBuffer[r.Done++] = b;
    r.IntervalDeadline = After(now, r.Plan.IntervalMs);
    return true;
}

void TRequestEngine::Expire(Clock::time_point now) {
    if (!FReads.empty()) {
        const auto r = FReads.front();
        if (r->Started && (Due(r->TotalDeadline, now) || Due(r->IntervalDeadline, now))) {
            FReads.pop_front();
            Finish(*r, 0);
        }
    }
    if (!FWrites.empty()) {
        const auto w = FWrites.front();
        if (w->Started && Due(w->TotalDeadline, now)) {
            FWrites.pop_front();
            Finish(*w, 0);
        }
    }
}

std::optional<Clock::time_point> TRequestEngine::NextDeadline() const {
    std::optional<Clock::time_point> best;
    if (!FReads.empty() && FReads.front()->Started) {
        Earliest(best, FReads.front()->TotalDeadline);
        Earliest(best, FReads.front()->IntervalDeadline);
    }
    if (!FWrites.empty() && FWrites.front()->Started)
        Earliest(best, FWrites.front()->TotalDeadline);
    return best;
}

DWORD TRequestEngine::Unsent() const {
    DWORD n = 0;
    for (const auto& w : FWrites)
        n += w->Count - w->Done;
    return n;
}

void TRequestEngine::Abort(DWORD purgeFlags) {
    if (purgeFlags & PURGE_TXABORT) FinishAll(FWrites, ERROR_OPERATION_ABORTED);
    if (purgeFlags & PURGE_RXABORT) FinishAll(FReads, ERROR_OPERATION_ABORTED);
}

void TRequestEngine::EndAll(DWORD status) {
    FinishAll(FReads, status);
    FinishAll(FWrites, status);
    if (FWait) {
        const auto wait = std::move(FWait);
        Finish(*wait, status);
    }
    FHistory = 0;
    FTxBusy = false;
}

void TRequestEngine::Finish(TRequest& r, DWORD status) {
    r.Finished = true;
    r.Status = status;
    if (r.Kind == TRequestKind::Wait && status != 0) *r.Events = 0;
    if (r.Overlapped) {
        r.Overlapped->Internal = status;
        r.Overlapped->InternalHigh = r.Kind == TRequestKind::Wait ? 0 : r.Done;
    }
    if (r.Signal) r.Signal->Set();
    if (FChanged) FChanged->notify_all();
}

void TRequestEngine::FinishAll(std::deque<TRequestPtr>& q, DWORD status) {
    auto ending = std::move(q);
    q.clear();
    for (auto& r : ending)
        Finish(*r, status);
}

bool TRequestEngine::SetMask(DWORD mask) {
    constexpr DWORD AllEvents = 0x1FFF; // EV_RXCHAR .. EV_EVENT2
    if (mask & ~AllEvents) return Fail(ERROR_INVALID_PARAMETER);
    FMask = mask;
    FHistory = 0;
    FReportedInput = 0; // input still queued counts for the new mask
    FTakenUnreported = false;
    if (FWait) {
        const auto wait = std::move(FWait);
        *wait->Events = 0;
        Finish(*wait, 0);
    }
    return true;
}

void TRequestEngine::Raise(DWORD events) {
    events &= FMask;
    if (events == 0) return;
    if (!FWait) {
        FHistory |= events;
        return;
    }
    const auto wait = std::move(FWait);
    *wait->Events = events | FHistory;
    FHistory = 0;
    Finish(*wait, 0);
}

DWORD TRequestEngine::InputEvents(DWORD queued) {
    // Only input beyond what was reported: a handler that leaves bytes unread must not be
    // woken again at once, for ever.
    const bool fresh = queued > FReportedInput || FTakenUnreported;
    FReportedInput = queued;
    FTakenUnreported = false;
    return fresh ? EV_RXCHAR : 0;
}

DWORD ModemLineEvents(DWORD before, DWORD now) {
    const DWORD changed = now ^ before;
    DWORD events = 0;
    if (changed & MS_CTS_ON) events |= EV_CTS;
    if (changed & MS_DSR_ON) events |= EV_DSR;
    if (changed & MS_RLSD_ON) events |= EV_RLSD;
    // A ring is counted when the indicator goes off again, as UARTs and Linux count it.
    if (changed & before & MS_RING_ON) events |= EV_RING;
    return events;
}

DWORD TRequestEngine::LineEvents(DWORD modem) {
    const DWORD events = ModemLineEvents(FReportedModem, modem);
    FReportedModem = modem;
    return events;
}

void TRequestEngine::Drained() {
    if (!FTxBusy) return;
    FTxBusy = false;
    Raise(EV_TXEMPTY);
}

} // namespace qwin::detail
