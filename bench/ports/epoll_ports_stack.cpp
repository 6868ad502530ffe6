// The limit for many ports: one thread, one epoll set over every tty, a read of what is
// there and, for echo, a write of it back.
#include "../StackArgs.h"
#include "PortsArgs.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/epoll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    using quillon::bench::TPortsMode;
    const auto args = quillon::bench::ParsePortsArgs(argc, argv);
    if (!args) return 2;
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> fds;
    for (const std::string& device : args->Devices) {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        if (fd < 0 || tcgetattr(fd, &t) != 0) {
            std::perror(device.c_str());
            return 1;
        }
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(fds.size());
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
        fds.push_back(fd);
    }
    std::vector<uint64_t> counts(fds.size());
    size_t portsDone = 0;
    quillon::bench::SayReady();
    std::vector<epoll_event> ready(fds.size());
    char buf[4096];
    for (;;) {
        const int n = epoll_wait(ep, ready.data(), static_cast<int>(ready.size()), -1);
        if (n < 0 && errno != EINTR) return 1;
        for (int i = 0; i < n; ++i) {
            const uint32_t port = ready[i].data.u32;
            const ssize_t got = read(fds[port], buf, sizeof buf);
            if (got <= 0) continue;
            if (args->Mode == TPortsMode::Echo) {
                [[maybe_unused]] ssize_t w = write(fds[port], buf, static_cast<size_t>(got));
                continue;
            }
            const bool reached = counts[port] < args->Count &&
                                 counts[port] + static_cast<uint64_t>(got) >= args->Count;
            counts[port] += static_cast<uint64_t>(got);
            if (reached && ++portsDone == fds.size())
                quillon::bench::SayDone(fds.size() * args->Count);
        }
    }
}
