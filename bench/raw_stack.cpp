// The limit: a blocking read loop straight on the tty, no event path, no copies.
#include "StackArgs.h"
#include "tests/support/FdIo.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using quillon_test::WriteAll;

int main(int argc, char** argv) {
    using quillon::bench::TMode;
    const auto args = quillon::bench::ParseStackArgs(argc, argv);
    if (!args) return 2;
    const int fd = ::open(args->Device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(args->Device.c_str());
        return 1;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    quillon::bench::SayReady();

    uint64_t count = 0;
    char buf[65536];
    while (args->Mode == TMode::Idle || count < args->Count) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::perror("read");
            return 1;
        }
        count += static_cast<uint64_t>(n);
        if (args->Mode == TMode::Echo && !WriteAll(fd, buf, static_cast<size_t>(n))) {
            std::perror("write");
            return 1;
        }
    }
    if (args->Mode == TMode::Echo) tcdrain(fd);
    quillon::bench::SayDone(count);
    return 0;
}
