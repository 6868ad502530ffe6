// Who drives a tty's pending requests: a thread that waits for one of them, else the
// helper while transfers are pending that nobody waits for.
#include "platform/linux/tty/PosixDevice.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qwin::posix {

using std::chrono::milliseconds;

void PosixDevice::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

// The driver sleeps in epoll: a change it must see (mask, purge, new request, close)
// wakes it.
void PosixDevice::Nudge() {
    if (driving_) Wake();
}

bool PosixDevice::HelperWanted() const {
    return !closed_ && !lost_ && !driving_ && waiting_ == 0 &&
           (engine_.Reading() || engine_.Writing() || priority_);
}

void PosixDevice::Help() {
    if (!HelperWanted()) return;
    if (helper_.joinable()) {
        changed_.notify_all();
        return;
    }
    try {
        helper_ = std::thread([this] { RunHelper(); });
    } catch (const std::system_error&) {
        // Without a helper the transfers still progress whenever someone waits for them.
    }
}

void PosixDevice::RunHelper() {
    Lock lock(mu_);
    while (!closed_) {
        if (!HelperWanted()) {
            changed_.wait(lock);
            continue;
        }
        Drive(
            lock, [this] { return !engine_.Reading() && !engine_.Writing() && !priority_; },
            std::nullopt, true);
    }
}

bool PosixDevice::DriveUntil(Lock& lock, const std::function<bool()>& done, Until until) {
    while (!done() && !closed_) {
        if (!driving_) {
            Drive(lock, done, until, false);
            break;
        }
        if (until && Clock::now() >= *until) break;
        // Someone else drives; the helper gives way to a thread that waits.
        ++waiting_;
        if (helperDriving_) Wake();
        if (until)
            changed_.wait_until(lock, *until);
        else
            changed_.wait(lock);
        --waiting_;
    }
    Help();
    return done();
}

void PosixDevice::Drive(Lock& lock, const std::function<bool()>& done, Until until, bool helper) {
    driving_ = true;
    helperDriving_ = helper;
    for (;;) {
        Serve();
        engine_.Raise(Observe(!until || Clock::now() < *until));
        if (done() || closed_ || lost_ || (helper && waiting_ > 0)) break;
        if (until && Clock::now() >= *until) break;
        Until next = NextDeadline();
        if (until && (!next || *until < *next)) next = until;
        int timeout = -1;
        if (next) {
            // Rounded up: waking a fraction early would only go round again.
            const auto left = std::chrono::ceil<milliseconds>(*next - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
        // Room in the output matters only to a write, a priority character or a wait for
        // the output draining; anyone else's freed slot would wake us for nothing.
        WatchOutput(engine_.Writing() || priority_ || (engine_.Waiting() && TxDrainAwaited()));
        lock.unlock();
        epoll_event events[2];
        const int n = epoll_wait(epollFd_, events, 2, timeout);
        lock.lock();
        bool hungUp = false;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == wakeFd_) {
                uint64_t count;
                [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
            } else {
                hungUp |= (events[i].events & (EPOLLHUP | EPOLLERR)) != 0;
                if (events[i].events & ~EPOLLOUT) inputKnown_.reset(); // something arrived
            }
        }
        if (hungUp && !closed_) Lose();
    }
    driving_ = false;
    helperDriving_ = false;
    changed_.notify_all(); // the role is free
}

std::optional<DWORD> PosixDevice::Await(detail::Event& ev, DWORD ms) {
    Lock lock(mu_);
    const auto mine = [&] { return !closed_ && engine_.Signals(ev); };
    if (!mine()) {
        ev.Detach(this);
        return std::nullopt;
    }
    const Until until = ms == INFINITE ? Until() : Until(Clock::now() + milliseconds(ms));
    DriveUntil(
        lock, [&] { return ev.IsSet() || !mine(); }, until);
    if (ev.TryTake()) return WAIT_OBJECT_0;
    if (!mine()) {
        ev.Detach(this);
        return std::nullopt;
    }
    return WAIT_TIMEOUT;
}

void PosixDevice::WatchOutput(bool on) {
    if (on == watchingOutput_ || lost_ || closed_) return;
    epoll_event tty{};
    tty.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (on ? EPOLLOUT : 0u);
    tty.data.fd = fd_;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd_, &tty) == 0) watchingOutput_ = on;
}

PosixDevice::Until PosixDevice::NextDeadline() {
    Until next = engine_.NextDeadline();
    // A UART says nothing when its last bytes leave; look again when they should have,
    // the last one included while the transmitter still shifts it out.
    if (engine_.Waiting() && TxDrainAwaited()) {
        if (const int queued = OutputLeft(); queued > 0) {
            const uint64_t bits =
                2 + dcb_.ByteSize + (dcb_.Parity != NOPARITY) + (dcb_.StopBits != ONESTOPBIT);
            const uint64_t ms =
                uint64_t(queued) * bits * 1000 / std::max<DWORD>(dcb_.BaudRate, 1) + 1;
            const auto drained = Clock::now() + milliseconds(ms);
            if (!next || drained < *next) next = drained;
        }
    }
    return next;
}

} // namespace qwin::posix
