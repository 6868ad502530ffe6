#pragma once
// A thread asleep in the driver (TIOCMIWAIT) until a modem line changes: the only way a
// tty tells of its lines without being asked over and over. It exists only while someone
// wants line events. TIOCMIWAIT measures from its own start: a change in the moment
// between the thread's start (or its last report) and its return into the driver shows at
// the next change or the next look at the line, not at once.
//
// Waking it: the kernel ends TIOCMIWAIT on a line change, on a hang-up, and on a signal.
// To stop it, the watcher's own duplicate of the tty is first replaced (dup2) by a dead
// descriptor, so a call not yet in the driver fails at once; then a signal aimed at this
// thread alone (pthread_kill) ends a call already asleep with EINTR, since its handler does
// nothing and is installed without SA_RESTART. The signal is the highest real-time signal
// the program leaves at its default, taken once per process; the thread blocks every other
// signal, so the program's own handlers never run on it.
#include <atomic>
#include <functional>
#include <thread>

namespace qwin::posix {

class LineWatch {
  public:
    /// What the thread tells after each return of the driver: 0 for a change, else the
    /// errno (EIO: hang-up; ENOTTY, EINVAL: no such call). It stops when this returns false.
    using Report = std::function<bool(int error)>;

    /// Starts watching fd; false from Started() when that cannot be done.
    LineWatch(int fd, Report report);
    /// Wakes the thread out of the driver and joins it. Must not be destroyed by a thread
    /// that report() could be waiting for.
    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    bool Started() const { return thread_.joinable(); }

  private:
    void Run();

    Report report_;
    int watchFd_ = -1;
    int deadFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace qwin::posix
