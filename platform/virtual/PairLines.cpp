// Modem lines wired across the pair, line errors and the event history of each end.
#include "platform/virtual/PairState.h"

namespace qvirt::detail {

using namespace qwin;

namespace {

constexpr DWORD LineStatusErrors = CE_RXPARITY | CE_FRAME | CE_OVERRUN;

} // namespace

bool TPairState::EffectiveDtr(int e) const {
    const auto& end = Ends[e];
    if (!end.Open) return false;
    if (end.State.fDtrControl == DTR_CONTROL_HANDSHAKE) return !end.InputHold;
    return end.Dtr;
}

bool TPairState::EffectiveRts(int e) const {
    const auto& end = Ends[e];
    if (!end.Open) return false;
    switch (end.State.fRtsControl) {
    case RTS_CONTROL_HANDSHAKE:
        return !end.InputHold;
    case RTS_CONTROL_TOGGLE:
        return !OutputEmpty(e);
    default:
        return end.Rts;
    }
}

DWORD TPairState::ModemStatus(int e) const {
    const int peer = 1 - e;
    DWORD status = 0;
    if (EffectiveRts(peer)) status |= MS_CTS_ON;
    if (EffectiveDtr(peer)) status |= MS_DSR_ON | MS_RLSD_ON;
    if (Ends[e].Ring) status |= MS_RING_ON;
    return status;
}

void TPairState::Raise(int e, DWORD events) {
    if (Ends[e].Open) Ends[e].Requests.Raise(events);
}

void TPairState::LineError(int e, DWORD errors) {
    auto& end = Ends[e];
    if (!end.Open) return;
    end.Errors |= errors;
    DWORD events = 0;
    if (errors & LineStatusErrors) events |= EV_ERR;
    if (errors & CE_BREAK) events |= EV_BREAK;
    Raise(e, events);
    if (end.State.fAbortOnError) {
        // Transfers stay refused until ClearCommError acknowledges the error.
        end.ErrorAbort = true;
        end.Requests.Abort(PURGE_RXABORT | PURGE_TXABORT);
    }
}

void TPairState::ApplyLineModes(int e) {
    auto& end = Ends[e];
    if (end.State.fDtrControl == DTR_CONTROL_ENABLE)
        end.Dtr = true;
    else if (end.State.fDtrControl == DTR_CONTROL_DISABLE)
        end.Dtr = false;
    if (end.State.fRtsControl == RTS_CONTROL_ENABLE)
        end.Rts = true;
    else if (end.State.fRtsControl == RTS_CONTROL_DISABLE)
        end.Rts = false;
}

void TPairState::ReportLineChanges() {
    for (int e = 0; e < 2; ++e) {
        if (Ends[e].Open) Raise(e, Ends[e].Requests.LineEvents(ModemStatus(e)));
    }
}

} // namespace qvirt::detail
