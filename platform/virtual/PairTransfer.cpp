// The data path of a pair: output of one end onto the line, into the peer's pending read
// or input queue, and the time-outs that end requests early.
#include "platform/virtual/PairState.h"

#include <algorithm>

namespace qvirt::detail {

using namespace qwin;

// The byte side of one end: input from its queue, output onto the line, or into the
// output buffer while the line cannot take it.
class TPairState::TMover final : public qwin::detail::TByteMover {
  public:
    TMover(TPairState& pair, int e) : FPair(pair), FEnd(e) {}

    qwin::detail::TMoved Receive(BYTE* dst, DWORD max) override {
        auto& end = FPair.Ends[FEnd];
        const auto n = std::min<std::size_t>(end.Input.size(), max);
        std::copy_n(end.Input.begin(), n, dst);
        end.Input.erase(end.Input.begin(), end.Input.begin() + std::ptrdiff_t(n));
        if (n > 0) FPair.UpdateHold(FEnd);
        Moved += DWORD(n);
        return {DWORD(n), 0};
    }

    qwin::detail::TMoved Send(const BYTE* src, DWORD count) override {
        auto& end = FPair.Ends[FEnd];
        DWORD n = 0;
        // Bytes already buffered go first, so the line only takes new ones behind them.
        if (!end.Immediate && end.Output.empty())
            while (n < count && FPair.CanTransmit(FEnd) && FPair.Put(FEnd, src[n]))
                ++n;
        OnLine += n;
        while (n < count && end.Output.size() < end.Queues.Output)
            end.Output.push_back(src[n++]);
        Moved += n;
        return {n, 0};
    }

    DWORD Moved = 0;  ///< bytes moved either way
    DWORD OnLine = 0; ///< of those sent, the ones that went on the line

  private:
    TPairState& FPair;
    int FEnd;
};

bool TPairState::OutputEmpty(int e) const {
    const auto& end = Ends[e];
    return !end.Immediate && end.Output.empty() && !end.Requests.Writing();
}

DWORD TPairState::OutputCount(int e) const {
    const auto& end = Ends[e];
    return DWORD(end.Output.size() + (end.Immediate ? 1 : 0)) + end.Requests.Unsent();
}

void TPairState::Purge(int e, DWORD flags) {
    auto& end = Ends[e];
    end.Requests.Abort(flags);
    if (flags & PURGE_TXCLEAR) {
        end.Output.clear();
        end.Immediate.reset();
    }
    if (flags & PURGE_RXCLEAR) {
        end.Input.clear();
        end.Requests.InputDiscarded();
        UpdateHold(e);
    }
    // Discarded output is never sent, so it earns no EV_TXEMPTY.
    if (OutputEmpty(e)) end.Requests.Discarded();
    Settle();
}

void TPairState::Submit(int e, const TRequestPtr& r) {
    Ends[e].Requests.Submit(r);
    Settle();
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
    TMover mover(*this, e);
    Ends[e].Requests.ServeReads(mover, Clock::now());
    return mover.Moved > 0;
}

bool TPairState::CanTransmit(int e) const {
    const auto& s = Ends[e];
    if (!s.Open || s.Break || s.XoffHold) return false;
    const int peer = 1 - e;
    if (s.State.fOutxCtsFlow && !EffectiveRts(peer)) return false;
    if (s.State.fOutxDsrFlow && !EffectiveDtr(peer)) return false;
    return true;
}

bool TPairState::Put(int e, BYTE b) {
    // Bytes sent while the peer is closed are lost on the line, as on a real cable.
    const int peer = 1 - e;
    return !Ends[peer].Open || Accept(peer, b);
}

bool TPairState::DrainOutput(int e) {
    auto& s = Ends[e];
    bool sent = false;
    while (CanTransmit(e)) {
        if (s.Immediate) {
            if (!Put(e, *s.Immediate)) break;
            s.Immediate.reset();
        } else if (!s.Output.empty()) {
            if (!Put(e, s.Output.front())) break;
            s.Output.pop_front();
        } else {
            break;
        }
        sent = true;
    }
    return sent;
}

bool TPairState::Transfer(int e) {
    auto& s = Ends[e];
    if (!s.Open) return false;
    const bool drained = DrainOutput(e);
    TMover mover(*this, e);
    s.Requests.ServeWrites(mover, Clock::now());
    const bool sent = drained || mover.OnLine > 0;
    if (sent && OutputEmpty(e)) s.Requests.Drained();
    return sent || mover.Moved > 0;
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
    if (!end.Input.empty() || !end.Requests.Deliver(b, Clock::now())) {
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
    for (auto& end : Ends)
        end.Requests.Expire(now);
}

std::optional<Clock::time_point> TPairState::NextDeadline() const {
    std::optional<Clock::time_point> best;
    for (const auto& end : Ends)
        if (const auto next = end.Requests.NextDeadline(); next && (!best || *next < *best))
            best = next;
    return best;
}

} // namespace qvirt::detail
