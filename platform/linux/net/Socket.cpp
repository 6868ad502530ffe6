#include "platform/net/Socket.h"

#include "SystemCodes.h"
#include "platform/net/Addresses.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qnet {

namespace {

std::uint32_t LastError() {
    return std::uint32_t(errno);
}

bool SetBlocking(int s, bool on) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// One address, within the time left: a host that drops the connection attempt must not
// hold the open for the system's own minutes.
std::uint32_t ConnectOne(int s, const addrinfo& a, std::chrono::milliseconds timeout) {
    if (!SetBlocking(s, false)) return LastError();
    if (::connect(s, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return LastError();
        pollfd p{s, POLLOUT, 0};
        const int n = ::poll(&p, 1, int(timeout.count()));
        if (n < 0) return LastError();
        if (n == 0) return qwin::ERROR_TIMEOUT;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) return std::uint32_t(err);
    }
    return SetBlocking(s, true) ? 0 : LastError();
}

} // namespace

TSocket::~TSocket() {
    if (FHandle != -1) ::close(int(FHandle));
}

std::uint32_t TSocket::Connect(const std::string& host, const std::string& port,
                               std::chrono::milliseconds timeout) {
    return TryAddresses(host, port, [&](const addrinfo& a) {
        const int s = ::socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol);
        if (s < 0) return LastError();
        const std::uint32_t code = ConnectOne(s, a, timeout);
        if (code != 0) {
            ::close(s);
            return code;
        }
        // Small writes (a command, a typed key) go at once.
        int on = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        FHandle = s;
        return code;
    });
}

std::uint32_t TSocket::SendAll(const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t sent = ::send(int(FHandle), p, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return LastError();
        p += sent;
        n -= std::size_t(sent);
    }
    return 0;
}

std::uint32_t TSocket::Receive(char* p, std::size_t n, std::size_t& received) {
    for (;;) {
        const ssize_t got = ::recv(int(FHandle), p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return LastError();
        received = std::size_t(got);
        return 0;
    }
}

void TSocket::Shutdown() {
    if (FHandle != -1) ::shutdown(int(FHandle), SHUT_RDWR);
}

} // namespace qnet
