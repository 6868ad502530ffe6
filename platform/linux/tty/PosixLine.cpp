// Queues, line control and line status of a tty.
#include "platform/linux/tty/LineIoctl.h"
#include "platform/linux/tty/PosixDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qwin::posix {

namespace {

bool FailErrno() {
    return detail::Fail(static_cast<DWORD>(errno));
}

} // namespace

bool PosixDevice::Purge(DWORD flags) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    engine_.Abort(flags);
    if (flags & PURGE_TXABORT) priority_.reset();
    Nudge();
    if (flags & PURGE_RXCLEAR) {
        if (tcflush(fd_, TCIFLUSH) != 0) return FailErrno();
        engine_.InputDiscarded();
        inputKnown_ = 0;
    }
    if (flags & PURGE_TXCLEAR) {
        if (tcflush(fd_, TCOFLUSH) != 0) return FailErrno();
        // Discarded output is never sent, so it earns no EV_TXEMPTY.
        if (!engine_.Writing() && !priority_) engine_.Discarded();
    }
    return true;
}

bool PosixDevice::Flush() {
    int fd;
    {
        Lock lock(mu_);
        if (!Usable()) return false;
        // Our own queue first, then the kernel's.
        DriveUntil(
            lock, [this] { return lost_ || (!engine_.Writing() && !priority_); }, std::nullopt);
        if (!Usable()) return false;
        // tcdrain may sleep for long (flow control): on a duplicate, so that closing the
        // device meanwhile cannot hand the descriptor number to someone else.
        fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return FailErrno();
    }
    const int r = tcdrain(fd);
    const int err = errno;
    close(fd);
    return r == 0 || detail::Fail(static_cast<DWORD>(err));
}

bool PosixDevice::ClearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    DWORD ce = 0;
    LineCounters now;
    if (countersKnown_) {
        if (int err = ReadLineCounters(fd_, now)) return detail::Fail(static_cast<DWORD>(err));
        ce = CounterErrors(errorCounters_, now);
        errorCounters_ = now;
    }
    if (stat) {
        int in = 0, out = 0;
        // A handler reading what its event reported needs no second look at the queue.
        if (countReported_ && inputKnown_)
            in = static_cast<int>(*inputKnown_);
        else if (ioctl(fd_, FIONREAD, &in) != 0)
            return FailErrno();
        countReported_ = false;
        inputKnown_ = static_cast<DWORD>(in);
        if (ioctl(fd_, TIOCOUTQ, &out) != 0) return FailErrno();
        *stat = {};
        stat->cbInQue = static_cast<DWORD>(in);
        // Bytes of a write still waiting for room are queued output too.
        stat->cbOutQue = static_cast<DWORD>(out) + engine_.Unsent() + (priority_ ? 1 : 0);
        stat->fTxim = priority_.has_value();
        int lines = 0;
        if ((dcb_.fOutxCtsFlow || dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE) &&
            LineIoctl(fd_, TIOCMGET, &lines) == 0)
            stat->fCtsHold = !(lines & TIOCM_CTS);
    }
    if (errors) *errors = ce;
    return true;
}

bool PosixDevice::Escape(DWORD func) {
    std::lock_guard lock(mu_);
    if (!Usable()) return false;
    int bits = 0;
    int r;
    switch (func) {
    case SETDTR:
        bits = TIOCM_DTR;
        r = LineIoctl(fd_, TIOCMBIS, &bits);
        break;
    case CLRDTR:
        bits = TIOCM_DTR;
        r = LineIoctl(fd_, TIOCMBIC, &bits);
        break;
    case SETRTS:
        bits = TIOCM_RTS;
        r = LineIoctl(fd_, TIOCMBIS, &bits);
        break;
    case CLRRTS:
        bits = TIOCM_RTS;
        r = LineIoctl(fd_, TIOCMBIC, &bits);
        break;
    case SETXOFF:
        r = tcflow(fd_, TCOOFF);
        break;
    case SETXON:
        r = tcflow(fd_, TCOON);
        break;
    case SETBREAK:
        r = ioctl(fd_, TIOCSBRK);
        break;
    case CLRBREAK:
        r = ioctl(fd_, TIOCCBRK);
        break;
    case RESETDEV:
        return detail::Fail(ENOTSUP); // a tty has no reset
    default:
        return detail::Fail(ERROR_INVALID_PARAMETER);
    }
    return r == 0 || FailErrno();
}

bool PosixDevice::TransmitChar(char c) {
    std::lock_guard lock(mu_);
    if (!Usable()) return false;
    if (priority_) return detail::Fail(EBUSY); // the last one has not gone out yet
    // Straight to the tty, between the chunks of a pending write; when it is full, the
    // driver sends the character before any more of that write.
    const ssize_t n = ::write(fd_, &c, 1);
    if (n == 1) {
        engine_.Sent();
        return true;
    }
    if (n < 0 && errno == EIO) {
        Lose();
        return detail::Fail(ERROR_ACCESS_DENIED);
    }
    if (n < 0 && errno != EAGAIN) return FailErrno();
    priority_ = c;
    Nudge();
    Help();
    return true;
}

bool PosixDevice::LowLatency(bool on) {
    std::lock_guard lock(mu_);
    if (!Usable()) return false;
    const int err = SetLowLatency(fd_, on);
    return err == 0 || detail::Fail(static_cast<DWORD>(err));
}

bool PosixDevice::ModemStatus(DWORD* status) {
    std::lock_guard lock(mu_);
    if (!Usable()) return false;
    return ReadModem(*status) || FailErrno();
}

} // namespace qwin::posix
