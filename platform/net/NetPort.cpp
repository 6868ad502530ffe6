// Reads, writes, the event wait, purge and close of a network port: the request engine
// decides, this file moves bytes between the requests and the queues the threads serve.
#include "platform/net/NetPort.h"

#include <algorithm>

namespace qnet {

using namespace qwin;
using detail::Fail;
using detail::TRequestEngine;
using detail::TRequestKind;

namespace {

// Output taken from writes ahead of the socket, as a UART driver's buffer.
constexpr std::size_t OutputLimit = 4096;

} // namespace

class TNetPort::TMover final : public detail::TByteMover {
  public:
    explicit TMover(TNetPort& port) : FPort(port) {}

    detail::TMoved Receive(BYTE* dst, DWORD max) override {
        auto& in = FPort.FInput;
        const auto n = std::min<std::size_t>(in.size(), max);
        std::copy_n(in.begin(), n, dst);
        in.erase(in.begin(), in.begin() + std::ptrdiff_t(n));
        return {DWORD(n), 0};
    }

    detail::TMoved Send(const BYTE* src, DWORD count) override {
        auto& out = FPort.FOutgoing;
        const auto n = DWORD(
            std::min<std::size_t>(count, out.size() < OutputLimit ? OutputLimit - out.size() : 0));
        EncodeData(src, n, out);
        if (n > 0) FPort.FEngine.Sent();
        return {n, 0};
    }

  private:
    TNetPort& FPort;
};

void TNetPort::Serve() {
    if (FClosed || FLost) return;
    TMover mover(*this);
    const auto now = detail::Clock::now();
    const std::size_t before = FInput.size();
    FEngine.ServeReads(mover, now);
    FEngine.ServeWrites(mover, now);
    FEngine.Expire(now);
    if (FOutgoing.size() || FControl.size()) FSendWake.notify_one();
    if (OutputIdle() && FEngine.SentSinceDrained()) FEngine.Drained();
    FTimerWake.notify_one();
    // Room in the input lets the reader go on.
    if (FInput.size() < before) FChanged.notify_all();
}

bool TNetPort::OutputIdle() const {
    return FOutgoing.empty() && !FSending && !FEngine.Writing();
}

bool TNetPort::Usable() const {
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    if (FLost) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

bool TNetPort::Run(Lock& lock, const TRequestPtr& r, DWORD* done) {
    FEngine.Submit(r);
    Serve();
    // The close and the loss of the connection end every request.
    if (!r->Overlapped) FChanged.wait(lock, [&] { return r->Finished; });
    return TRequestEngine::Answer(*r, done);
}

bool TNetPort::Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Read, ov, count);
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    if (!buf && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    r->ReadBuffer = static_cast<BYTE*>(buf);
    return Run(lock, r, done);
}

bool TNetPort::Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Write, ov, count);
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    if (!buf && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    r->WriteBuffer = static_cast<const BYTE*>(buf);
    return Run(lock, r, done);
}

bool TNetPort::WaitEvent(DWORD* events, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Wait, ov, 0);
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (!r) return Fail(ERROR_INVALID_HANDLE);
    // One wait at a time, and only for something.
    if (!events || FEngine.Mask() == 0 || FEngine.Waiting()) return Fail(ERROR_INVALID_PARAMETER);
    r->Events = events;
    return Run(lock, r, nullptr);
}

bool TNetPort::OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) {
    Lock lock(FMutex);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    if (!ov) return Fail(ERROR_INVALID_PARAMETER);
    if (const auto pending = FEngine.Pending(ov)) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        FChanged.wait(lock, [&] { return pending->Finished; });
    }
    return TRequestEngine::Outcome(*ov, done);
}

bool TNetPort::SetMask(DWORD mask) {
    Lock lock(FMutex);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    return FEngine.SetMask(mask);
}

bool TNetPort::GetMask(DWORD& mask) {
    Lock lock(FMutex);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    mask = FEngine.Mask();
    return true;
}

bool TNetPort::Flush() {
    Lock lock(FMutex);
    if (!Usable()) return false;
    FChanged.wait(lock, [&] { return FClosed || FLost || OutputIdle(); });
    return Usable();
}

bool TNetPort::ClearError(DWORD* errors, COMSTAT* stat) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (errors) *errors = FErrors;
    FErrors = 0;
    if (stat) {
        *stat = COMSTAT{};
        stat->fXoffHold = FXoffHold || FServerHold;
        stat->cbInQue = DWORD(FInput.size());
        stat->cbOutQue = DWORD(FOutgoing.size()) + FEngine.Unsent();
    }
    return true;
}

bool TNetPort::ModemStatus(DWORD* status) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (!status) return Fail(ERROR_INVALID_PARAMETER);
    *status = FModem;
    return true;
}

bool TNetPort::TransmitChar(char c) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    // Ahead of the data not yet sent: the output holds whole escaped bytes only.
    std::string encoded;
    EncodeData(reinterpret_cast<const std::uint8_t*>(&c), 1, encoded);
    FOutgoing.insert(0, encoded);
    FEngine.Sent();
    FSendWake.notify_one();
    return true;
}

void TNetPort::Close() {
    Lock lock(FMutex);
    if (FClosed) return;
    FClosed = true;
    FStop = true;
    FEngine.EndAll(ERROR_OPERATION_ABORTED);
    FSocket.Shutdown();
    FSendWake.notify_all();
    FTimerWake.notify_all();
    FChanged.notify_all();
    lock.unlock();
    for (auto* t : {&FReader, &FSender, &FTimer})
        if (t->joinable()) t->join();
}

} // namespace qnet
