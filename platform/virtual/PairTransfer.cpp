// The data path of a pair: output of one end onto the line, into the peer's pending read
// or input queue, and the time-outs that end requests early.
#include "platform/virtual/PairState.h"

#include <algorithm>

namespace qvirt::detail {

using namespace qwin;

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

} // namespace

bool TPairState::OutputEmpty(int e) const {
    const auto& end = Ends[e];
    return !end.Immediate && end.Output.empty() && end.Writes.empty();
}

DWORD TPairState::OutputCount(int e) const {
    const auto& end = Ends[e];
    std::size_t n = end.Output.size() + (end.Immediate ? 1 : 0);
    for (const auto& w : end.Writes)
        n += w->Count - w->Done;
    return DWORD(n);
}

void TPairState::Purge(int e, DWORD flags) {
    auto& end = Ends[e];
    if (flags & PURGE_TXABORT) FinishAll(end.Writes, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_RXABORT) FinishAll(end.Reads, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_TXCLEAR) {
        end.Output.clear();
        end.Immediate.reset();
    }
    if (flags & PURGE_RXCLEAR) {
        end.Input.clear();
        UpdateHold(e);
    }
    // Discarded output is never sent, so it earns no EV_TXEMPTY.
    if (OutputEmpty(e)) end.TxBusy = false;
    Settle();
}

void TPairState::Submit(int e, const TRequestPtr& r) {
    auto& end = Ends[e];
    switch (r->Kind) {
    case TRequestKind::Read:
        end.Reads.push_back(r);
        break;
    case TRequestKind::Write:
        end.Writes.push_back(r);
        end.TxBusy = true;
        break;
    case TRequestKind::Wait:
        end.Wait = r;
        break;
    }
    Settle();
}

void TPairState::Finish(TRequest& r, DWORD status) {
    r.Finished = true;
    r.Status = status;
    if (r.Kind == TRequestKind::Wait && status != 0) *r.Events = 0;
    if (r.Overlapped) {
        r.Overlapped->Internal = status;
        r.Overlapped->InternalHigh = r.Kind == TRequestKind::Wait ? 0 : r.Done;
    }
    if (r.Signal) r.Signal->Set();
    Changed.notify_all();
}

void TPairState::FinishAll(std::deque<TRequestPtr>& q, DWORD status) {
    auto ending = std::move(q);
    q.clear();
    for (auto& r : ending)
        Finish(*r, status);
}

void TPairState::Settle() {
    for (;;) {
        bool progress = false;
        for (int e = 0; e < 2; ++e)
            progress |= ServeReads(e);
        for (int e = 0; e < 2; ++e)
            progress |= Transfer(e);
        if (!progress) break;
    }
    ReportLineChanges();
    Changed.notify_all();
    const auto next = NextDeadline();
    if (next && (!FArmed || *next < *FArmed)) FTimerWake.notify_one();
}

bool TPairState::ServeReads(int e) {
    auto& end = Ends[e];
    bool progress = false;
    while (!end.Reads.empty()) {
        TRequest& r = *end.Reads.front();
        const auto now = Clock::now();
        const bool fresh = !r.Started;
        if (fresh) {
            r.Started = true;
            r.Plan = PlanRead(end.Timeouts, r.Count);
            r.TotalDeadline = After(now, r.Plan.TotalMs);
            progress = true;
        }
        if (Wants(r)) {
            const auto n = std::min<std::size_t>(end.Input.size(), r.Count - r.Done);
            if (n > 0) {
                std::copy_n(end.Input.begin(), n, r.ReadBuffer + r.Done);
                end.Input.erase(end.Input.begin(), end.Input.begin() + std::ptrdiff_t(n));
                r.Done += DWORD(n);
                r.IntervalDeadline = After(now, r.Plan.IntervalMs);
                UpdateHold(e);
                progress = true;
            }
        }
        const bool complete = r.Done == r.Count || (fresh && r.Plan.ReturnAtOnce) ||
                              (fresh && r.Plan.ReturnIfAny && r.Done > 0) ||
                              (r.Plan.OneByteEnough && r.Done > 0) || Due(r.TotalDeadline, now);
        if (!complete) break;
        const auto done = end.Reads.front();
        end.Reads.pop_front();
        Finish(*done, 0);
        progress = true;
    }
    return progress;
}

bool TPairState::CanTransmit(int e) const {
    const auto& s = Ends[e];
    if (!s.Open || s.Break || s.XoffHold) return false;
    const int peer = 1 - e;
    if (s.State.fOutxCtsFlow && !EffectiveRts(peer)) return false;
    if (s.State.fOutxDsrFlow && !EffectiveDtr(peer)) return false;
    return true;
}

TRequest& TPairState::WriteHead(int e) {
    auto& end = Ends[e];
    TRequest& w = *end.Writes.front();
    if (!w.Started) {
        w.Started = true;
        w.TotalDeadline = After(Clock::now(), PlanWrite(end.Timeouts, w.Count));
    }
    return w;
}

bool TPairState::Transfer(int e) {
    auto& s = Ends[e];
    if (!s.Open) return false;
    const int peer = 1 - e;
    // Bytes sent while the peer is closed are lost on the line, as on a real cable.
    const auto deliver = [&](BYTE b) { return !Ends[peer].Open || Accept(peer, b); };
    bool progress = false;
    bool sent = false;
    while (CanTransmit(e)) {
        if (s.Immediate) {
            if (!deliver(*s.Immediate)) break;
            s.Immediate.reset();
        } else if (!s.Output.empty()) {
            if (!deliver(s.Output.front())) break;
            s.Output.pop_front();
        } else if (!s.Writes.empty()) {
            TRequest& w = WriteHead(e);
            if (!deliver(w.WriteBuffer[w.Done])) break;
            if (++w.Done == w.Count) {
                const auto done = s.Writes.front();
                s.Writes.pop_front();
                Finish(*done, 0);
            }
        } else {
            break;
        }
        sent = true;
    }
    // What the line cannot take yet waits in the output buffer, up to its size.
    while (!s.Writes.empty()) {
        TRequest& w = WriteHead(e);
        while (w.Done < w.Count && s.Output.size() < s.Queues.Output) {
            s.Output.push_back(w.WriteBuffer[w.Done++]);
            progress = true;
        }
        if (w.Done < w.Count) break;
        const auto done = s.Writes.front();
        s.Writes.pop_front();
        Finish(*done, 0);
        progress = true;
    }
    if (sent) {
        progress = true;
        if (s.TxBusy && OutputEmpty(e)) {
            s.TxBusy = false;
            Raise(e, EV_TXEMPTY);
        }
    }
    return progress;
}

bool TPairState::Accept(int e, BYTE b) {
    auto& end = Ends[e];
    const auto& d = end.State;
    if (d.fOutX && b == BYTE(d.XoffChar)) {
        end.XoffHold = true;
        return true;
    }
    if (d.fOutX && b == BYTE(d.XonChar)) {
        end.XoffHold = false;
        return true;
    }
    if (d.fNull && b == 0) return true;
    DWORD events = EV_RXCHAR;
    if (b == BYTE(d.EvtChar)) events |= EV_RXFLAG;
    TRequest* head = end.Reads.empty() ? nullptr : end.Reads.front().get();
    if (end.Input.empty() && head && Wants(*head)) {
        head->ReadBuffer[head->Done++] = b;
        head->IntervalDeadline = After(Clock::now(), head->Plan.IntervalMs);
    } else {
        const std::uint64_t limit = end.Queues.Input;
        if (limit != 0 && end.Input.size() >= limit) return false;
        end.Input.push_back(b);
        const std::uint64_t size = end.Input.size();
        if (limit != 0 && size * 5 >= limit * 4 && (size - 1) * 5 < limit * 4)
            events |= EV_RX80FULL;
        UpdateHold(e);
    }
    Raise(e, events);
    return true;
}

void TPairState::UpdateHold(int e) {
    auto& end = Ends[e];
    const std::uint64_t limit = end.Queues.Input;
    const std::uint64_t size = end.Input.size();
    // Handshake lines drop above three quarters and rise again below one half.
    if (limit == 0)
        end.InputHold = false;
    else if (size * 4 > limit * 3)
        end.InputHold = true;
    else if (size * 2 < limit)
        end.InputHold = false;
}

void TPairState::ExpireDeadlines(Clock::time_point now) {
    for (auto& end : Ends) {
        if (!end.Reads.empty()) {
            const auto r = end.Reads.front();
            if (r->Started && (Due(r->TotalDeadline, now) || Due(r->IntervalDeadline, now))) {
                end.Reads.pop_front();
                Finish(*r, 0);
            }
        }
        if (!end.Writes.empty()) {
            const auto w = end.Writes.front();
            if (w->Started && Due(w->TotalDeadline, now)) {
                end.Writes.pop_front();
                Finish(*w, 0);
            }
        }
    }
}

std::optional<Clock::time_point> TPairState::NextDeadline() const {
    std::optional<Clock::time_point> best;
    for (const auto& end : Ends) {
        if (!end.Reads.empty() && end.Reads.front()->Started) {
            Earliest(best, end.Reads.front()->TotalDeadline);
            Earliest(best, end.Reads.front()->IntervalDeadline);
        }
        if (!end.Writes.empty() && end.Writes.front()->Started)
            Earliest(best, end.Writes.front()->TotalDeadline);
    }
    return best;
}

} // namespace qvirt::detail
