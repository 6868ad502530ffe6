#pragma once
// A raw pty pair for the POSIX backend's tests: the test holds the master end and opens
// the slave through the platform API, as a program opens a serial port.
#include "port_handle.h"
#include "rtl/Text.h"
#include "tests/support/PtyPair.h"

#include <chrono>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace quillon_test {

class Pty : public TPtyPair {
  public:
    Pty() { MakeRaw(); }
    const std::string& Path() const { return SlavePath(); }
    string Name() const { return rtl::Utf8ToString(SlavePath()); }
    using TPtyPair::Drain;
    /// Reads n bytes of the device's output; stops short when nothing comes for 5 s.
    std::string Drain(size_t n) const { return Drain(n, std::chrono::seconds(5)); }
};

/// The process's CPU time (user + system, all threads) in milliseconds.
inline double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace quillon_test
