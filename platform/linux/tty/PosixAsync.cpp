// Reads, writes and the event wait of a tty: the request engine decides, this file moves
// the bytes and tells the engine what the tty shows.
#include "platform/linux/tty/PosixDevice.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qwin::posix {

namespace {

// The line discipline's input buffer, against which "80 % full" is measured.
constexpr int InputBufferSize = 4096;

using detail::TRequestEngine;
using detail::TRequestKind;

int Queued(int fd, unsigned long request) {
    int n = 0;
    return ioctl(fd, request, &n) == 0 ? n : 0;
}

} // namespace

// One system call a move: a tty hands over all it holds, or takes all it has room for.
class PosixDevice::Mover final : public detail::TByteMover {
  public:
    Mover(int fd, std::optional<DWORD>& inputKnown) : fd_(fd), inputKnown_(inputKnown) {}

    detail::TMoved Receive(BYTE* dst, DWORD max) override {
        for (;;) {
            const ssize_t n = ::read(fd_, dst, max);
            if (n >= 0) return Took(DWORD(n), max);
            // With VMIN and VTIME 0 an empty tty reads 0 bytes, as a hung-up one does; a
            // hang-up shows itself to epoll.
            if (errno == EAGAIN) return Took(0, max);
            if (errno != EINTR) return {0, DWORD(errno)};
        }
    }

    detail::TMoved Send(const BYTE* src, DWORD count) override {
        for (;;) {
            const ssize_t n = ::write(fd_, src, count);
            if (n >= 0) return {DWORD(n), 0};
            if (errno == EAGAIN) return {};
            if (errno != EINTR) return {0, DWORD(errno)};
        }
    }

  private:
    detail::TMoved Took(DWORD n, DWORD max) {
        if (n < max)
            inputKnown_ = 0; // the tty gave all it had
        else if (inputKnown_ && n <= *inputKnown_)
            *inputKnown_ -= n;
        else
            inputKnown_.reset();
        return {n, 0};
    }

    const int fd_;
    std::optional<DWORD>& inputKnown_;
};

bool PosixDevice::Usable() const {
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    if (lost_) return detail::Fail(ERROR_ACCESS_DENIED);
    return true;
}

void PosixDevice::Lose() {
    if (lost_) return;
    lost_ = true;
    // A hung-up tty reports itself ready for ever: stop watching it.
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
    engine_.EndAll(ERROR_ACCESS_DENIED);
    priority_.reset();
}

// Moves what the tty allows now: the priority character, reads, writes; ends what ran out
// of time.
void PosixDevice::Serve() {
    if (lost_ || closed_) return;
    if (priority_) {
        const ssize_t n = ::write(fd_, &*priority_, 1);
        if (n == 1) {
            priority_.reset();
            engine_.Sent();
        } else if (n < 0 && errno == EIO) {
            return Lose();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            priority_.reset(); // the tty refuses it; nothing else can be done with it
        }
    }
    Mover mover(fd_, inputKnown_);
    const auto now = Clock::now();
    if (engine_.ServeReads(mover, now) == EIO) return Lose();
    if (!priority_ && engine_.ServeWrites(mover, now) == EIO) return Lose();
    engine_.Expire(now);
}

bool PosixDevice::Run(Lock& lock, const detail::TRequestPtr& r, DWORD* done) {
    engine_.Submit(r);
    if (!r->Finished) Serve();
    if (!r->Finished) {
        if (!r->Overlapped) {
            DriveUntil(
                lock, [&] { return r->Finished; }, std::nullopt);
        } else {
            if (r->Signal) r->Signal->Attach(weak_from_this());
            Nudge();
            Help();
        }
    }
    return TRequestEngine::Answer(*r, done);
}

bool PosixDevice::Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Read, ov, count);
    Lock lock(mu_);
    if (!Usable()) return false;
    if (!r) return detail::Fail(ERROR_INVALID_HANDLE);
    r->ReadBuffer = static_cast<BYTE*>(buf);
    return Run(lock, r, done);
}

bool PosixDevice::Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Write, ov, count);
    Lock lock(mu_);
    if (!Usable()) return false;
    if (!r) return detail::Fail(ERROR_INVALID_HANDLE);
    r->WriteBuffer = static_cast<const BYTE*>(buf);
    const bool ok = Run(lock, r, done);
    // A wait for the output draining now has output to watch.
    if (engine_.Waiting() && (engine_.Mask() & EV_TXEMPTY)) Nudge();
    return ok;
}

bool PosixDevice::WaitEvent(DWORD* events, OVERLAPPED* ov) {
    auto r = TRequestEngine::Make(TRequestKind::Wait, ov, 0);
    Lock lock(mu_);
    if (!Usable()) return false;
    if (!r) return detail::Fail(ERROR_INVALID_HANDLE);
    // One wait at a time, and only for something.
    if (engine_.Mask() == 0 || engine_.Waiting()) return detail::Fail(ERROR_INVALID_PARAMETER);
    r->Events = events;
    countReported_ = false; // the last event's dispatch is over
    engine_.Submit(r);
    // Input queued before anyone watched counts as received; input already reported does not.
    // Whoever completes the wait looks at the tty again or sleeps in epoll first.
    if (!r->Finished) engine_.Raise(Observe(true));
    if (r->Finished) return TRequestEngine::Answer(*r, nullptr);
    if (!ov) {
        DriveUntil(
            lock, [&] { return r->Finished; }, std::nullopt);
        return TRequestEngine::Answer(*r, nullptr);
    }
    if (r->Signal) r->Signal->Attach(weak_from_this());
    // A driver already running must learn of a deadline the wait brings (output draining).
    if (TxDrainAwaited()) Nudge();
    return detail::Fail(ERROR_IO_PENDING);
}

bool PosixDevice::OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) {
    Lock lock(mu_);
    if (const auto r = engine_.Pending(ov)) {
        // Not waiting still lets the tty's news in once.
        const Until until = wait ? Until() : Until(Clock::now());
        if (!DriveUntil(
                lock, [&] { return r->Finished; }, until))
            return detail::Fail(ERROR_IO_INCOMPLETE);
    } else if (ov->Internal == ERROR_IO_PENDING) {
        return detail::Fail(ERROR_INVALID_PARAMETER); // a request of some other device
    }
    return TRequestEngine::Outcome(*ov, done);
}

bool PosixDevice::SetMask(DWORD mask) {
    std::unique_ptr<LineWatch> stopped;
    Lock lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    if (!engine_.SetMask(mask)) return false;
    // What happened before is no news to the new mask.
    LineCounters now;
    if (countersKnown_ && ReadLineCounters(fd_, now) == 0) eventCounters_ = now;
    DWORD modem = 0;
    if (hasLines_ && ReadModem(modem)) engine_.LinesAre(modem);
    stopped = WatchLines();
    Nudge();
    lock.unlock();
    return true;
}

bool PosixDevice::GetMask(DWORD& mask) {
    Lock lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    mask = engine_.Mask();
    return true;
}

bool PosixDevice::TxDrainAwaited() const {
    return (engine_.Mask() & EV_TXEMPTY) && engine_.SentSinceDrained() && !engine_.Writing() &&
           !priority_;
}

// The masked events the tty shows: input beyond what was reported, line counters that
// moved, output drained.
DWORD PosixDevice::Observe(bool sleepsNext) {
    const DWORD mask = engine_.Mask();
    if (lost_ || mask == 0) return 0;
    DWORD ev = 0;
    if (mask & (EV_RXCHAR | EV_RX80FULL)) {
        if (!sleepsNext || !inputKnown_) inputKnown_ = static_cast<DWORD>(Queued(fd_, FIONREAD));
        const DWORD queued = *inputKnown_;
        const DWORD input = engine_.InputEvents(queued);
        countReported_ = input != 0;
        ev |= input;
        if (queued * 5 >= InputBufferSize * 4) ev |= EV_RX80FULL;
    }
    ev |= LineNews();
    if (TxDrainAwaited() && OutputLeft() == 0) engine_.Drained();
    return ev;
}

} // namespace qwin::posix
