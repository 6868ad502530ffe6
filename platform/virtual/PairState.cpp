#include "platform/virtual/PairState.h"

namespace qvirt::detail {

namespace {

qwin::DCB InitialState() {
    qwin::DCB d{};
    d.DCBlength = sizeof(qwin::DCB);
    d.BaudRate = 9600;
    d.fBinary = 1;
    d.fDtrControl = qwin::DTR_CONTROL_ENABLE;
    d.fRtsControl = qwin::RTS_CONTROL_ENABLE;
    d.ByteSize = 8;
    d.Parity = qwin::NOPARITY;
    d.StopBits = qwin::ONESTOPBIT;
    d.XonChar = 17;
    d.XoffChar = 19;
    return d;
}

} // namespace

TPairState::TPairState(const std::string& nameA, const std::string& nameB) {
    Ends[0].Name = nameA;
    Ends[1].Name = nameB;
    for (auto& end : Ends) {
        end.State = InitialState();
        end.Requests.NotifyOn(Changed);
    }
    FTimer = std::thread([this] { TimerLoop(); });
}

TPairState::~TPairState() {
    {
        std::lock_guard lock(Mutex);
        FStop = true;
    }
    FTimerWake.notify_all();
    FTimer.join();
}

void TEndState::Renew() {
    ++Generation;
    Input.clear();
    Output.clear();
    Immediate.reset();
    Break = XoffHold = InputHold = ErrorAbort = false;
    Errors = 0;
}

bool TPairState::Alive(int e, unsigned generation) const {
    return Plugged && !Deleted && Ends[e].Open && Ends[e].Generation == generation;
}

std::optional<unsigned> TPairState::OpenEnd(int e) {
    auto& end = Ends[e];
    ++end.Calls.Opens;
    if (Deleted || !Plugged) {
        qwin::SetLastError(qwin::ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    if (end.Open) {
        qwin::SetLastError(qwin::ERROR_BUSY);
        return std::nullopt;
    }
    end.Open = true;
    end.Renew();
    end.Requests.SetMask(0);
    ApplyLineModes(e);
    // The opener starts from the lines as they are; only the peer hears of the change.
    end.Requests.LinesAre(ModemStatus(e));
    Settle();
    return end.Generation;
}

void TPairState::CloseEnd(int e, DWORD status) {
    Shut(e, status);
    Settle();
}

void TPairState::Shut(int e, DWORD status) {
    auto& end = Ends[e];
    if (!end.Open) return;
    end.Requests.EndAll(status);
    end.Requests.SetMask(0);
    end.Open = false;
    end.Renew();
}

void TPairState::Unplug() {
    Plugged = false;
    // Both ends go down together: neither hears of the other's lines dropping.
    for (int e = 0; e < 2; ++e)
        Shut(e, qwin::ERROR_ACCESS_DENIED);
    Settle();
}

void TPairState::TimerLoop() {
    std::unique_lock lock(Mutex);
    while (!FStop) {
        FArmed = NextDeadline();
        if (FArmed)
            FTimerWake.wait_until(lock, *FArmed);
        else
            FTimerWake.wait(lock);
        if (FStop) break;
        ExpireDeadlines(Clock::now());
        Settle();
    }
}

} // namespace qvirt::detail
