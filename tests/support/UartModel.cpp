#include "tests/support/UartModel.h"

#include "platform/WinApi.h"
#include "platform/linux/tty/LineIoctl.h"

#include <algorithm>
#include <cerrno>
#include <linux/serial.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon_test {

namespace {

constexpr int FarLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
constexpr int PortLines = TIOCM_DTR | TIOCM_RTS;

// The seam is one per process; the models behind it, one per pty.
std::mutex modelsMutex;
std::vector<TUartModel*> models;

} // namespace

TUartModel::TUartModel(int master, const std::string& slavePath) : FMaster(master) {
    struct stat st;
    if (stat(slavePath.c_str(), &st) != 0) throw std::runtime_error("no such pty: " + slavePath);
    FDevice = st.st_rdev;
    FDriven = PortLines; // opening a tty raises DTR and RTS
    std::lock_guard lock(modelsMutex);
    models.push_back(this);
    qwin::posix::SetLineDriver(&Driver);
}

TUartModel::~TUartModel() {
    std::lock_guard lock(modelsMutex);
    models.erase(std::find(models.begin(), models.end(), this));
    if (models.empty()) qwin::posix::SetLineDriver(nullptr);
}

int TUartModel::Driver(int fd, unsigned long request, void* arg) {
    TUartModel* model = nullptr;
    {
        std::lock_guard lock(modelsMutex);
        for (TUartModel* m : models)
            if (m->Models(fd)) model = m;
    }
    return model ? model->Answer(fd, request, arg) : ::ioctl(fd, request, arg);
}

bool TUartModel::Models(int fd) const {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == FDevice;
}

int TUartModel::Answer(int fd, unsigned long request, void* arg) {
    if (request == TIOCMIWAIT) return WaitForChange(fd, reinterpret_cast<unsigned long>(arg));
    std::lock_guard lock(FMutex);
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(arg) = FFar | FDriven;
        return 0;
    case TIOCMSET:
        FDriven = *static_cast<int*>(arg) & PortLines;
        return 0;
    case TIOCMBIS:
        FDriven |= *static_cast<int*>(arg) & PortLines;
        return 0;
    case TIOCMBIC:
        FDriven &= ~(*static_cast<int*>(arg) & PortLines);
        return 0;
    case TIOCGICOUNT: {
        auto* k = static_cast<serial_icounter_struct*>(arg);
        *k = {};
        k->cts = int(FCounts.cts);
        k->dsr = int(FCounts.dsr);
        k->dcd = int(FCounts.dcd);
        k->rng = int(FCounts.rng);
        k->frame = int(FCounts.frame);
        k->overrun = int(FCounts.overrun);
        k->parity = int(FCounts.parity);
        k->brk = int(FCounts.brk);
        k->buf_overrun = int(FCounts.bufOverrun);
        ++FLooks;
        FLooked.notify_all();
        return 0;
    }
    case TIOCGSERIAL: {
        auto* s = static_cast<serial_struct*>(arg);
        *s = {};
        s->type = PORT_16550A;
        s->flags = FFlags;
        s->baud_base = 115200;
        return 0;
    }
    case TIOCSSERIAL: {
        const int flags = static_cast<serial_struct*>(arg)->flags;
        FFlags = FIgnoreLowLatency ? (flags & ~int(ASYNC_LOW_LATENCY)) : flags;
        return 0;
    }
    case TIOCSERGETLSR:
        *static_cast<unsigned*>(arg) = FBusy ? 0 : TIOCSER_TEMT;
        return 0;
    default:
        return ::ioctl(fd, request, arg);
    }
}

// As the serial core's wait: the counters at entry are the reference; a change of a line
// outside the mask does not end it.
int TUartModel::WaitForChange(int fd, unsigned long mask) {
    const int wake = eventfd(0, EFD_CLOEXEC);
    if (wake < 0) return -1;
    std::unique_lock lock(FMutex);
    const Counters at = FCounts;
    FSleepers.push_back(wake);
    FLooked.notify_all();
    int result = 0;
    for (;;) {
        const Counters& n = FCounts;
        if (((mask & TIOCM_RNG) && n.rng != at.rng) || ((mask & TIOCM_DSR) && n.dsr != at.dsr) ||
            ((mask & TIOCM_CD) && n.dcd != at.dcd) || ((mask & TIOCM_CTS) && n.cts != at.cts))
            break;
        lock.unlock();
        // The descriptor itself reports only a hang-up (events 0): the pty's far end gone,
        // or the caller's descriptor replaced by one that is.
        pollfd p[2] = {{wake, POLLIN, 0}, {fd, 0, 0}};
        const int r = poll(p, 2, -1);
        const int err = errno;
        lock.lock();
        if (r < 0) {
            result = err == EINTR ? EINTR : err;
            break;
        }
        if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            result = EIO;
            break;
        }
        uint64_t count;
        [[maybe_unused]] ssize_t got = read(wake, &count, sizeof count);
    }
    FSleepers.erase(std::find(FSleepers.begin(), FSleepers.end(), wake));
    FLooked.notify_all();
    lock.unlock();
    close(wake);
    if (result == 0) return 0;
    errno = result;
    return -1;
}

void TUartModel::WakeSleepers() {
    const uint64_t one = 1;
    for (int fd : FSleepers)
        [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

void TUartModel::SetFar(int lines) {
    const int changed = (FFar ^ lines) & FarLines;
    if (changed & TIOCM_CTS) ++FCounts.cts;
    if (changed & TIOCM_DSR) ++FCounts.dsr;
    if (changed & TIOCM_CAR) ++FCounts.dcd;
    if (changed & FFar & TIOCM_RNG) ++FCounts.rng;
    FFar = lines & FarLines;
}

void TUartModel::Drive(int lines) {
    std::lock_guard lock(FMutex);
    SetFar(lines);
    WakeSleepers();
}

void TUartModel::Glitch(int lines) {
    std::lock_guard lock(FMutex);
    const int was = FFar;
    SetFar(was ^ lines);
    SetFar(was);
    WakeSleepers();
}

void TUartModel::PulseRing() {
    std::lock_guard lock(FMutex);
    SetFar(FFar | TIOCM_RNG);
    SetFar(FFar & ~TIOCM_RNG);
    WakeSleepers();
}

void TUartModel::CountErrors(unsigned ce) {
    bool nul = false;
    {
        std::lock_guard lock(FMutex);
        if (ce & qwin::CE_FRAME) ++FCounts.frame, nul = true;
        if (ce & qwin::CE_RXPARITY) ++FCounts.parity, nul = true;
        if (ce & qwin::CE_BREAK) ++FCounts.brk, nul = true;
        if (ce & qwin::CE_OVERRUN) ++FCounts.overrun, nul = true;
        if (ce & qwin::CE_RXOVER) ++FCounts.bufOverrun;
    }
    // The counters move before the byte arrives, as in the driver's receive path.
    if (nul && write(FMaster, "", 1) != 1) throw std::runtime_error("feed");
}

void TUartModel::HoldTransmitter(bool busy) {
    std::lock_guard lock(FMutex);
    FBusy = busy;
}

bool TUartModel::LowLatency() const {
    std::lock_guard lock(FMutex);
    return FFlags & ASYNC_LOW_LATENCY;
}

int TUartModel::Driven() const {
    std::lock_guard lock(FMutex);
    return FDriven;
}

unsigned TUartModel::Looks() const {
    std::lock_guard lock(FMutex);
    return FLooks;
}

void TUartModel::AwaitLookAfter(unsigned looks) const {
    std::unique_lock lock(FMutex);
    FLooked.wait(lock, [&] { return FLooks > looks; });
}

int TUartModel::Sleepers() const {
    std::lock_guard lock(FMutex);
    return int(FSleepers.size());
}

void TUartModel::AwaitSleepers(int n) const {
    std::unique_lock lock(FMutex);
    FLooked.wait(lock, [&] { return int(FSleepers.size()) >= n; });
}

} // namespace quillon_test
