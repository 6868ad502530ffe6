// Reads, writes and the event wait: started on the caller's thread, finished there when
// the tty allows, otherwise carried on by the device's worker.
#include "platform/posix/PosixDevice.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qwin::posix {

namespace {

// The line discipline's input buffer, against which "80 % full" is measured.
constexpr int InputBufferSize = 4096;

using std::chrono::milliseconds;

int Queued(int fd, unsigned long request) {
    int n = 0;
    return ioctl(fd, request, &n) == 0 ? n : 0;
}

} // namespace

bool PosixDevice::Usable() const {
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    if (lost_) return detail::Fail(ERROR_ACCESS_DENIED);
    return true;
}

bool PosixDevice::Begin(Request& r, OVERLAPPED* ov) {
    r.ov = ov;
    if (ov->hEvent) {
        r.event = detail::FindEvent(ov->hEvent);
        if (!r.event) return detail::Fail(ERROR_INVALID_HANDLE);
    }
    return true;
}

void PosixDevice::Finish(Request& r, DWORD code, DWORD count) {
    r.ov->Internal = code;
    r.ov->InternalHigh = count;
    if (r.event) r.event->Set();
    finished_.notify_all();
}

void PosixDevice::FinishTransfer(std::optional<Transfer>& t, DWORD code) {
    if (!t) return;
    Finish(*t, code, t->done);
    t.reset();
}

void PosixDevice::Lose() {
    if (lost_) return;
    lost_ = true;
    // A hung-up tty reports itself ready for ever: stop watching it.
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
    FinishTransfer(read_, ERROR_ACCESS_DENIED);
    FinishTransfer(write_, ERROR_ACCESS_DENIED);
    if (wait_) {
        *wait_->events = 0;
        Finish(*wait_, ERROR_ACCESS_DENIED, 0);
        wait_.reset();
    }
    priority_.reset();
    finished_.notify_all();
}

bool PosixDevice::StartWorker() {
    if (worker_.joinable()) return true;
    try {
        worker_ = std::thread([this] { Run(); });
        return true;
    } catch (const std::system_error& e) {
        return detail::Fail(static_cast<DWORD>(e.code().value()));
    }
}

void PosixDevice::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

// 0, or the errno of a failed read (EIO once the other end of a pty has gone).
int PosixDevice::ReadSome(Transfer& t) {
    while (t.done < t.count) {
        const ssize_t n = ::read(fd_, t.data + t.done, t.count - t.done);
        if (n > 0) {
            t.done += static_cast<DWORD>(n);
            seenQueued_ = std::max<int>(0, seenQueued_ - static_cast<int>(n));
            if (t.interval.count()) t.gapDeadline = Clock::now() + t.interval;
        } else if (n == 0 || errno == EAGAIN) {
            // With VMIN and VTIME 0 an empty tty reads 0 bytes, as a hung-up one does;
            // a hang-up shows itself to epoll.
            return 0;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int PosixDevice::WriteSome(Transfer& t) {
    while (t.done < t.count) {
        const ssize_t n = ::write(fd_, t.data + t.done, t.count - t.done);
        if (n > 0) {
            t.done += static_cast<DWORD>(n);
            txBusy_ = true;
        } else if (n == 0 || errno == EAGAIN) {
            return 0; // no room: the next edge says when there is
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

bool PosixDevice::ReadEnded(const Transfer& t, Clock::time_point now) const {
    return t.done == t.count || (t.firstByteEnds && t.done > 0) || now >= t.deadline ||
           (t.done > 0 && now >= t.gapDeadline);
}

// A call without a record runs on one of its own and waits for it.
bool PosixDevice::AwaitOwn(OVERLAPPED& ov, DWORD* done) {
    std::unique_lock lock(mu_);
    finished_.wait(lock, [&] { return ov.Internal != ERROR_IO_PENDING; });
    if (done) *done = static_cast<DWORD>(ov.InternalHigh);
    return ov.Internal == ERROR_SUCCESS || detail::Fail(static_cast<DWORD>(ov.Internal));
}

bool PosixDevice::Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    if (!ov) {
        OVERLAPPED own{};
        if (Read(buf, count, done, &own)) return true;
        return GetLastError() == ERROR_IO_PENDING && AwaitOwn(own, done);
    }
    std::unique_lock lock(mu_);
    if (!Usable()) return false;
    if (read_) return detail::Fail(EBUSY); // one read at a time
    Transfer t;
    if (!Begin(t, ov)) return false;
    t.data = static_cast<uint8_t*>(buf);
    t.count = count;
    const COMMTIMEOUTS c = timeouts_;
    const auto now = Clock::now();
    const bool atOnce = c.ReadIntervalTimeout == MAXDWORD && c.ReadTotalTimeoutMultiplier == 0 &&
                        c.ReadTotalTimeoutConstant == 0;
    t.firstByteEnds = c.ReadIntervalTimeout == MAXDWORD &&
                      c.ReadTotalTimeoutMultiplier == MAXDWORD && c.ReadTotalTimeoutConstant != 0 &&
                      c.ReadTotalTimeoutConstant != MAXDWORD;
    if (t.firstByteEnds)
        t.deadline = now + milliseconds(c.ReadTotalTimeoutConstant);
    else if (c.ReadTotalTimeoutMultiplier || c.ReadTotalTimeoutConstant)
        t.deadline = now + milliseconds(uint64_t(c.ReadTotalTimeoutMultiplier) * count +
                                        c.ReadTotalTimeoutConstant);
    if (!t.firstByteEnds && c.ReadIntervalTimeout && c.ReadIntervalTimeout != MAXDWORD)
        t.interval = milliseconds(c.ReadIntervalTimeout);
    if (int err = ReadSome(t)) {
        if (err == EIO) Lose();
        return detail::Fail(err == EIO ? ERROR_ACCESS_DENIED : static_cast<DWORD>(err));
    }
    if (atOnce || ReadEnded(t, now)) {
        if (done) *done = t.done;
        Finish(t, ERROR_SUCCESS, t.done);
        return true;
    }
    if (!StartWorker()) return false;
    ov->Internal = ERROR_IO_PENDING;
    ov->InternalHigh = t.done;
    if (t.event) t.event->Reset();
    read_ = std::move(t);
    Wake();
    return detail::Fail(ERROR_IO_PENDING);
}

bool PosixDevice::Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) {
    if (!ov) {
        OVERLAPPED own{};
        if (Write(buf, count, done, &own)) return true;
        return GetLastError() == ERROR_IO_PENDING && AwaitOwn(own, done);
    }
    std::unique_lock lock(mu_);
    if (!Usable()) return false;
    if (write_) return detail::Fail(EBUSY); // one write at a time
    Transfer t;
    if (!Begin(t, ov)) return false;
    t.data = static_cast<uint8_t*>(const_cast<void*>(buf));
    t.count = count;
    const COMMTIMEOUTS c = timeouts_;
    if (c.WriteTotalTimeoutMultiplier || c.WriteTotalTimeoutConstant)
        t.deadline = Clock::now() + milliseconds(uint64_t(c.WriteTotalTimeoutMultiplier) * count +
                                                 c.WriteTotalTimeoutConstant);
    // A priority character still waiting for room goes first.
    if (!priority_) {
        if (int err = WriteSome(t)) {
            if (err == EIO) Lose();
            return detail::Fail(err == EIO ? ERROR_ACCESS_DENIED : static_cast<DWORD>(err));
        }
    }
    if (t.done == t.count) {
        if (done) *done = t.done;
        Finish(t, ERROR_SUCCESS, t.done);
        if (wait_) Wake(); // a pending wait may be for the output draining
        return true;
    }
    if (!StartWorker()) return false;
    ov->Internal = ERROR_IO_PENDING;
    ov->InternalHigh = t.done;
    if (t.event) t.event->Reset();
    write_ = std::move(t);
    Wake();
    return detail::Fail(ERROR_IO_PENDING);
}

bool PosixDevice::OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) {
    std::unique_lock lock(mu_);
    auto pending = [&] {
        return (read_ && read_->ov == ov) || (write_ && write_->ov == ov) ||
               (wait_ && wait_->ov == ov);
    };
    if (pending()) {
        if (!wait) return detail::Fail(ERROR_IO_INCOMPLETE);
        finished_.wait(lock, [&] { return !pending(); });
    } else if (ov->Internal == ERROR_IO_PENDING) {
        return detail::Fail(ERROR_INVALID_PARAMETER); // a request of some other device
    }
    *done = static_cast<DWORD>(ov->InternalHigh);
    return ov->Internal == ERROR_SUCCESS || detail::Fail(static_cast<DWORD>(ov->Internal));
}

bool PosixDevice::SetMask(DWORD mask) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    mask_ = mask;
    history_ = 0;
    seenQueued_ = 0; // input still queued counts for the new mask
    LineCounters now;
    if (countersKnown_ && ReadLineCounters(fd_, now) == 0) eventCounters_ = now;
    if (wait_) {
        *wait_->events = 0;
        Finish(*wait_, ERROR_SUCCESS, 0);
        wait_.reset();
    }
    return true;
}

bool PosixDevice::GetMask(DWORD& mask) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    mask = mask_;
    return true;
}

bool PosixDevice::WaitEvent(DWORD* events, OVERLAPPED* ov) {
    if (!ov) {
        OVERLAPPED own{};
        if (WaitEvent(events, &own)) return true;
        return GetLastError() == ERROR_IO_PENDING && AwaitOwn(own, nullptr);
    }
    std::unique_lock lock(mu_);
    if (!Usable()) return false;
    if (wait_) return detail::Fail(EBUSY);
    if (mask_ == 0) return detail::Fail(ERROR_INVALID_PARAMETER);
    Wait w;
    if (!Begin(w, ov)) return false;
    w.events = events;
    // Input queued before anyone watched counts as received: a wait started after it must
    // not sleep. Input already reported does not (see Observe).
    if (const DWORD ev = history_ | Observe(true, false)) {
        history_ = 0;
        *events = ev;
        Finish(w, ERROR_SUCCESS, 0);
        return true;
    }
    const bool running = worker_.joinable();
    if (!StartWorker()) return false;
    ov->Internal = ERROR_IO_PENDING;
    ov->InternalHigh = 0;
    if (w.event) w.event->Reset();
    wait_ = std::move(w);
    // What the worker would observe now was observed above, and new input reaches it as
    // an edge, so it is woken only when the wait gives it a deadline to keep.
    if (running && WaitNeedsDeadline()) Wake();
    return detail::Fail(ERROR_IO_PENDING);
}

void PosixDevice::WatchOutput(bool on) {
    if (on == watchingOutput_ || lost_ || closed_) return;
    epoll_event tty{};
    tty.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (on ? EPOLLOUT : 0u);
    tty.data.fd = fd_;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd_, &tty) == 0) watchingOutput_ = on;
}

bool PosixDevice::WaitNeedsDeadline() const {
    return (mask_ & EV_TXEMPTY) && txBusy_ && !write_ && !priority_;
}

// The masked events that happened: input arrived (checked against what is queued or was
// just read), the output drained, the line counters moved.
DWORD PosixDevice::Observe(bool inputArrived, bool readGotBytes) {
    if (lost_) return 0;
    DWORD ev = 0;
    if (mask_ & (EV_RXCHAR | EV_RX80FULL)) {
        // Only input beyond what was already reported: a tty also wakes its watchers for
        // other reasons, and a handler that leaves bytes unread would be woken again at
        // once, for ever.
        const int queued = inputArrived ? Queued(fd_, FIONREAD) : 0;
        if (readGotBytes || queued > seenQueued_) ev |= EV_RXCHAR;
        if (inputArrived) seenQueued_ = queued;
        if (queued * 5 >= InputBufferSize * 4) ev |= EV_RX80FULL;
    }
    LineCounters now;
    if ((mask_ & (EV_BREAK | EV_ERR)) && countersKnown_ && ReadLineCounters(fd_, now) == 0) {
        const LineCounters& was = eventCounters_;
        if (now.brk != was.brk) ev |= EV_BREAK;
        if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
            now.bufOverrun != was.bufOverrun)
            ev |= EV_ERR;
        eventCounters_ = now;
    }
    if ((mask_ & EV_TXEMPTY) && CheckTxEmpty()) ev |= EV_TXEMPTY;
    return ev & mask_;
}

bool PosixDevice::CheckTxEmpty() {
    if (!txBusy_ || write_ || priority_ || Queued(fd_, TIOCOUTQ) > 0) return false;
    txBusy_ = false;
    return true;
}

void PosixDevice::Signal(DWORD events) {
    if (!events) return;
    if (!wait_) {
        history_ |= events;
        return;
    }
    *wait_->events = events | history_;
    history_ = 0;
    Finish(*wait_, ERROR_SUCCESS, 0);
    wait_.reset();
}

PosixDevice::Clock::time_point PosixDevice::NextDeadline() {
    Clock::time_point next = Never;
    if (read_) {
        next = std::min(next, read_->deadline);
        if (read_->done > 0) next = std::min(next, read_->gapDeadline);
    }
    if (write_) next = std::min(next, write_->deadline);
    // A UART says nothing when its last bytes leave; look again when they should have.
    if (wait_ && WaitNeedsDeadline()) {
        if (const int queued = Queued(fd_, TIOCOUTQ); queued > 0) {
            const uint64_t bits =
                2 + dcb_.ByteSize + (dcb_.Parity != NOPARITY) + (dcb_.StopBits != ONESTOPBIT);
            const uint64_t ms =
                uint64_t(queued) * bits * 1000 / std::max<DWORD>(dcb_.BaudRate, 1) + 1;
            next = std::min(next, Clock::now() + milliseconds(ms));
        }
    }
    return next;
}

void PosixDevice::Progress(bool inputArrived) {
    if (lost_ || closed_) return;
    if (priority_) {
        const ssize_t n = ::write(fd_, &*priority_, 1);
        if (n == 1) {
            priority_.reset();
            txBusy_ = true;
            finished_.notify_all();
        } else if (n < 0 && errno == EIO) {
            return Lose();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            priority_.reset(); // the tty refuses it; nothing else can be done with it
            finished_.notify_all();
        }
    }
    bool readGotBytes = false;
    if (read_) {
        const DWORD before = read_->done;
        const int err = ReadSome(*read_);
        readGotBytes = read_->done > before;
        if (err == EIO) return Lose();
        if (err)
            FinishTransfer(read_, static_cast<DWORD>(err));
        else if (ReadEnded(*read_, Clock::now()))
            FinishTransfer(read_, ERROR_SUCCESS);
    }
    if (write_) {
        const int err = priority_ ? 0 : WriteSome(*write_);
        if (err == EIO) return Lose();
        if (err)
            FinishTransfer(write_, static_cast<DWORD>(err));
        else if (write_->done == write_->count || Clock::now() >= write_->deadline)
            FinishTransfer(write_, ERROR_SUCCESS);
    }
    if (mask_) Signal(Observe(inputArrived, readGotBytes));
}

void PosixDevice::Run() {
    std::unique_lock lock(mu_);
    bool inputArrived = false;
    while (!closed_) {
        Progress(inputArrived);
        int timeout = -1;
        if (const auto next = NextDeadline(); next != Never) {
            // Rounded up: waking a fraction early would only go round again.
            const auto left = std::chrono::ceil<milliseconds>(next - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
        // Room in the output matters only to a write, a priority character or a wait for
        // the output draining; anyone else's freed slot would wake us for nothing.
        WatchOutput(write_ || priority_ || (wait_ && WaitNeedsDeadline()));
        lock.unlock();
        epoll_event events[2];
        const int n = epoll_wait(epollFd_, events, 2, timeout);
        lock.lock();
        inputArrived = false;
        bool hungUp = false;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == wakeFd_) {
                uint64_t count;
                [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
            } else {
                inputArrived |= (events[i].events & EPOLLIN) != 0;
                hungUp |= (events[i].events & (EPOLLHUP | EPOLLERR)) != 0;
            }
        }
        if (hungUp && !closed_) Lose();
    }
}

} // namespace qwin::posix
