// Modem lines and the driver's counters: what they tell the event wait.
#include "platform/linux/tty/LineIoctl.h"
#include "platform/linux/tty/PosixDevice.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace qwin::posix {

namespace {
constexpr DWORD ModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD CountedEvents = ModemEvents | EV_BREAK | EV_ERR;
} // namespace

bool PosixDevice::ReadModem(DWORD& status) {
    int lines = 0;
    if (LineIoctl(fd_, TIOCMGET, &lines) != 0) return false;
    status = ((lines & TIOCM_CTS) ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) ? MS_DSR_ON : 0) |
             ((lines & TIOCM_RNG) ? MS_RING_ON : 0) | ((lines & TIOCM_CAR) ? MS_RLSD_ON : 0);
    return true;
}

int PosixDevice::OutputLeft() {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
    if (queued > 0) return queued;
    // Drivers that cannot tell whether the shift register is empty count as drained.
    unsigned lsr = 0;
    return LineIoctl(fd_, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT) ? 0 : 1;
}

DWORD PosixDevice::LineNews() {
    const DWORD mask = engine_.Mask();
    if (lost_ || !(mask & CountedEvents)) return 0;
    DWORD ev = 0;
    // The counters tell of changes that came and went between two looks; the levels tell
    // of the rest on drivers that keep no counters.
    LineCounters now;
    if (countersKnown_ && ReadLineCounters(fd_, now) == 0) {
        ev |= CounterEvents(eventCounters_, now);
        eventCounters_ = now;
    }
    DWORD modem = 0;
    if ((mask & ModemEvents) && hasLines_ && ReadModem(modem)) ev |= engine_.LineEvents(modem);
    return ev & mask;
}

std::unique_ptr<LineWatch> PosixDevice::WatchLines() {
    const bool wanted = hasLines_ && !lost_ && !closed_ && (engine_.Mask() & ModemEvents);
    if (!wanted) return std::move(lineWatch_);
    if (!lineWatch_) {
        auto watch =
            std::make_unique<LineWatch>(fd_, [this](int error) { return LineChanged(error); });
        if (watch->Started())
            lineWatch_ = std::move(watch);
        else
            return watch;
    }
    return nullptr;
}

// On the watch thread, after the driver's wait returned.
bool PosixDevice::LineChanged(int error) {
    Lock lock(mu_);
    if (closed_ || lost_) return false;
    if (error == EIO) {
        Lose();
        Nudge();
        return false;
    }
    if (error != 0) return false; // no such call: line events come from the driver's looks
    engine_.Raise(LineNews());
    Nudge();
    return true;
}

} // namespace qwin::posix
