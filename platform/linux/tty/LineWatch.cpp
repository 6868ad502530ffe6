#include "platform/linux/tty/LineWatch.h"

#include "platform/linux/tty/LineIoctl.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qwin::posix {

namespace {

void Nothing(int) {}

// 0 when every real-time signal is taken by the program.
int WakeSignal() {
    static int chosen = 0;
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig = SIGRTMAX; sig >= SIGRTMIN; --sig) {
            struct sigaction was {};
            if (sigaction(sig, nullptr, &was) != 0 || was.sa_handler != SIG_DFL ||
                (was.sa_flags & SA_SIGINFO))
                continue;
            struct sigaction act {};
            act.sa_handler = Nothing;
            sigemptyset(&act.sa_mask);
            act.sa_flags = 0; // no SA_RESTART: the driver's wait must end, not resume
            if (sigaction(sig, &act, nullptr) == 0) {
                chosen = sig;
                return;
            }
        }
    });
    return chosen;
}

constexpr unsigned long ModemLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

} // namespace

LineWatch::LineWatch(int fd, Report report) : report_(std::move(report)) {
    if (WakeSignal() == 0) return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    close(ends[1]); // a read end with no writer: no ioctl of a tty, and hung up for poll
    deadFd_ = ends[0];
    watchFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (watchFd_ < 0) return;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
}

LineWatch::~LineWatch() {
    if (thread_.joinable()) {
        stop_ = true;
        dup2(deadFd_, watchFd_);
        pthread_kill(thread_.native_handle(), WakeSignal());
        thread_.join();
    }
    if (watchFd_ >= 0) close(watchFd_);
    if (deadFd_ >= 0) close(deadFd_);
}

void LineWatch::Run() {
    sigset_t only;
    sigfillset(&only);
    sigdelset(&only, WakeSignal());
    pthread_sigmask(SIG_SETMASK, &only, nullptr);
    while (!stop_) {
        const int r = LineIoctl(watchFd_, TIOCMIWAIT, reinterpret_cast<void*>(ModemLines));
        const int error = r == 0 ? 0 : errno;
        if (stop_) break;
        if (error == EINTR) continue;
        if (!report_(error)) break;
    }
}

} // namespace qwin::posix
