#pragma once
// A real pty pair for the POSIX backend's tests: the test holds the master end and
// opens the slave through the platform API, as a program opens a serial port.
#include "port_handle.h"
#include "rtl/Text.h"

#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace quillon_test {

using namespace qwin;

inline void MakeRawFd(int fd) {
    termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

class Pty {
  public:
    Pty() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        MakeRawFd(master_);
        MakeRawFd(slave_);
        path_ = ttyname(slave_);
    }
    ~Pty() {
        CloseMaster();
        if (slave_ >= 0) close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    string Name() const { return rtl::Utf8ToString(path_); }
    int Master() const { return master_; }
    /// The test's own slave descriptor: the tty's settings read through it are the device's.
    int Slave() const { return slave_; }
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    /// Writes bytes into the device's input.
    void Feed(const std::string& bytes) const {
        size_t off = 0;
        while (off < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + off, bytes.size() - off);
            if (n <= 0) throw std::runtime_error("feed");
            off += static_cast<size_t>(n);
        }
    }

    /// Reads n bytes of the device's output; stops short when nothing comes for 5 s.
    std::string Drain(size_t n) const {
        std::string out;
        char buf[65536];
        while (out.size() < n) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5000) != 1) break;
            const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }

  private:
    int master_ = -1, slave_ = -1;
    std::string path_;
};

/// The process's CPU time (user + system, all threads) in milliseconds.
inline double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace quillon_test
