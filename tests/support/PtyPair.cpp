#include "PtyPair.h"

#include "FdIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace quillon_test {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) Fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

} // namespace

TPtyPair::TPtyPair() {
    char name[256] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) Fail("openpty");
    FPath = name;
    // A program the test starts opens the slave by name; it must not inherit our ends.
    ::fcntl(FMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(FSlave, F_SETFD, FD_CLOEXEC);
}

TPtyPair::~TPtyPair() {
    CloseSlave();
    CloseMaster();
}

void TPtyPair::MakeRaw() {
    quillon_test::MakeRaw(FSlave);
    quillon_test::MakeRaw(FMaster);
}

void TPtyPair::Feed(std::string_view bytes) const {
    Feed(bytes.data(), bytes.size());
}

void TPtyPair::Feed(const void* data, std::size_t size) const {
    if (!WriteAll(FMaster, data, size)) Fail("write to the pty master");
}

std::string TPtyPair::Drain(std::size_t n, std::chrono::milliseconds timeout) const {
    std::string got;
    char chunk[4096];
    while (got.size() < n) {
        pollfd p{FMaster, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t r = ::read(FMaster, chunk, std::min(sizeof chunk, n - got.size()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) Fail("read from the pty master");
        got.append(chunk, static_cast<std::size_t>(r));
    }
    return got;
}

void TPtyPair::CloseSlave() {
    if (FSlave >= 0) ::close(FSlave);
    FSlave = -1;
}

void TPtyPair::CloseMaster() {
    if (FMaster >= 0) ::close(FMaster);
    FMaster = -1;
}

} // namespace quillon_test
