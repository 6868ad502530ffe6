// What termios cannot express of a DCB, and what happens to it here. Every member below
// is kept as last set, so GetCommState returns what SetCommState was given:
// - fBinary: a tty in raw mode is always binary.
// - fOutxDsrFlow, fDsrSensitivity, DTR_CONTROL_HANDSHAKE: Linux has no DSR/DTR handshake;
//   handshake raises DTR like DTR_CONTROL_ENABLE, DSR is never looked at.
// - RTS_CONTROL_TOGGLE: no RTS toggling; RTS is dropped, its idle level.
// - fOutxCtsFlow and RTS_CONTROL_HANDSHAKE share one flag (CRTSCTS): either sets it.
// - fTXContinueOnXoff: the kernel always goes on sending after it sent XOFF.
// - XonLim, XoffLim: the line discipline's thresholds are fixed (128 bytes each way).
// - fErrorChar/ErrorChar, fNull, EofChar, EvtChar, fAbortOnError: no replacement, no
//   filtering, no end-of-file character in raw mode, no flag-character event, and a
//   line error never stops the transfer.
// - DCBlength and the reserved members are carried through.
// A pty has no line at all: its driver forces 8 bits without parity; byte size and
// parity asked of it are kept and read back as asked. A real driver that substitutes
// framing or a rate (more than 3 % off) fails SetCommState with EINVAL instead, and the
// device keeps its previous settings.
#include "platform/linux/tty/PosixDevice.h"

#include "platform/DeviceNames.h"
#include "platform/core/DcbRules.h"
#include "platform/linux/tty/LineIoctl.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

namespace qwin::posix {

namespace {

// Unix98 pty slaves (/dev/pts/N) and the legacy BSD ones.
bool IsPtySlave(dev_t rdev) {
    const unsigned maj = major(rdev);
    return (maj >= 136 && maj <= 143) || maj == 3;
}

DCB InitialDcb(const TtyImage& t) {
    DCB dcb{};
    dcb.fBinary = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE; // opening a tty raises DTR and RTS
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 128;
    dcb.XoffLim = 128;
    TtyToDcb(t, dcb);
    return dcb;
}

std::shared_ptr<detail::Device> Refuse(int fd, int code) {
    if (fd >= 0) close(fd);
    SetLastError(static_cast<DWORD>(code));
    return nullptr;
}

} // namespace

PosixDevice::PosixDevice(int fd, bool pty, const TtyImage& initial)
    : fd_(fd), pty_(pty), dcb_(InitialDcb(initial)), asked_(initial) {
    engine_.NotifyOn(changed_);
    DWORD modem = 0;
    hasLines_ = ReadModem(modem);
    engine_.LinesAre(modem);
    LineCounters now;
    countersKnown_ = ReadLineCounters(fd_, now) == 0;
    eventCounters_ = errorCounters_ = now;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = wakeFd_;
    // Edge-triggered: queued input nobody reads, or a hung-up tty, must not keep
    // reporting itself; every edge is a new arrival or a freed output slot.
    epoll_event tty{};
    tty.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    tty.data.fd = fd_;
    if (wakeFd_ >= 0 && ep >= 0 && epoll_ctl(ep, EPOLL_CTL_ADD, wakeFd_, &wake) == 0 &&
        epoll_ctl(ep, EPOLL_CTL_ADD, fd_, &tty) == 0)
        epollFd_ = ep;
    else if (ep >= 0)
        close(ep);
}

PosixDevice::~PosixDevice() {
    Close();
}

void PosixDevice::Close() {
    std::thread helper;
    std::unique_ptr<LineWatch> watch;
    {
        Lock lock(mu_);
        if (closed_) return;
        closed_ = true;
        engine_.EndAll(ERROR_OPERATION_ABORTED);
        priority_.reset();
        // The descriptors stay until no thread sleeps on them.
        Nudge();
        changed_.notify_all();
        changed_.wait(lock, [this] { return !driving_; });
        helper = std::move(helper_);
        watch = std::move(lineWatch_);
    }
    watch.reset(); // before the descriptor it watches goes
    if (helper.joinable()) helper.join();
    ioctl(fd_, TIOCNXCL);
    close(fd_);
    if (epollFd_ >= 0) close(epollFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

bool PosixDevice::SetupComm(DWORD inQueue, DWORD outQueue) {
    // A tty's kernel buffers have a fixed size; the sizes are recorded and reported back.
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    inQueue_ = inQueue;
    outQueue_ = outQueue;
    return true;
}

bool PosixDevice::GetState(DCB& dcb) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    TtyImage t;
    if (int err = ReadTty(fd_, t)) return detail::Fail(static_cast<DWORD>(err));
    if (pty_) KeepFraming(asked_, t);
    dcb = dcb_;
    TtyToDcb(t, dcb);
    return true;
}

bool PosixDevice::SetState(const DCB& dcb) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    TtyImage before;
    if (int err = ReadTty(fd_, before)) return detail::Fail(static_cast<DWORD>(err));
    TtyImage next = before;
    if (int err = DcbToTty(dcb, next)) return detail::Fail(static_cast<DWORD>(err));
    if (int err = WriteTty(fd_, next)) return detail::Fail(static_cast<DWORD>(err));
    auto undo = [&](int err) {
        WriteTty(fd_, before);
        return detail::Fail(static_cast<DWORD>(err));
    };
    if (!pty_) {
        TtyImage taken;
        int err = ReadTty(fd_, taken);
        if (!err) err = CheckTaken(next, taken);
        if (err) return undo(err);
    }
    // Modem-line calls only for a line whose level changes: a pty has none to change.
    const ModemLines was = IdleLines(dcb_), want = IdleLines(dcb);
    for (auto [changed, on, bit] : {std::tuple{was.dtr != want.dtr, want.dtr, TIOCM_DTR},
                                    std::tuple{was.rts != want.rts, want.rts, TIOCM_RTS}}) {
        int bits = bit;
        if (changed && LineIoctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && errno != ENOTTY &&
            errno != EINVAL)
            return undo(errno);
    }
    dcb_ = dcb;
    asked_ = next;
    return true;
}

bool PosixDevice::GetTimeouts(COMMTIMEOUTS& t) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    t = engine_.Timeouts();
    return true;
}

bool PosixDevice::SetTimeouts(const COMMTIMEOUTS& t) {
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    return engine_.SetTimeouts(t);
}

bool PosixDevice::Properties(COMMPROP& prop) {
    constexpr DWORD PST_UNSPECIFIED = 0, PST_RS232 = 1;
    std::lock_guard lock(mu_);
    if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
    // termios2 takes any rate; the queues have no limit of ours.
    prop = detail::UartProperties(inQueue_, outQueue_);
    prop.dwProvSubType = pty_ ? PST_UNSPECIFIED : PST_RS232;
    // No DTR/DSR handshake, no error or event character, no 16-bit words; a pty has no
    // modem lines and no parity either.
    prop.dwProvCapabilities = PCF_XONXOFF | PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS;
    if (!pty_) prop.dwProvCapabilities |= PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK;
    prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                            SP_PARITY_CHECK | SP_RLSD;
    return true;
}

} // namespace qwin::posix

namespace qwin::detail {

std::shared_ptr<Device> OpenSystemDevice(const std::string& path) {
    using namespace posix;
    // Look before opening: opening some character devices has effects of its own.
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return Refuse(-1, errno);
    if (S_ISDIR(st.st_mode)) return Refuse(-1, EISDIR);
    if (!S_ISCHR(st.st_mode)) return Refuse(-1, ENOTTY);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Refuse(-1, errno);
    if (!isatty(fd)) return Refuse(fd, ENOTTY);
    // TIOCEXCL stops other openers except root; the lock stops root and this process too.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Refuse(fd, errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0) return Refuse(fd, errno);
    TtyImage t;
    if (int err = ReadTty(fd, t)) return Refuse(fd, err);
    MakeRaw(t);
    if (int err = WriteTty(fd, t)) return Refuse(fd, err);
    struct stat opened;
    const bool pty = fstat(fd, &opened) == 0 && IsPtySlave(opened.st_rdev);
    auto dev = std::make_shared<PosixDevice>(fd, pty, t);
    if (!dev->Ready()) {
        const int err = errno;
        dev->Close();
        SetLastError(static_cast<DWORD>(err));
        return nullptr;
    }
    return dev;
}

} // namespace qwin::detail
