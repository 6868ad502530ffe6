#include "platform/net/Socket.h"

#include "SystemCodes.h"

#ifdef _WIN32
#include <winsock2.h>

#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <mutex>

namespace qnet {

namespace {

#ifdef _WIN32
using TNative = SOCKET;
constexpr TNative Invalid = INVALID_SOCKET;
std::uint32_t LastError() {
    return std::uint32_t(WSAGetLastError());
}
void CloseNative(TNative s) {
    closesocket(s);
}
bool SetBlocking(TNative s, bool on) {
    u_long nonBlocking = on ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}
bool InProgress(std::uint32_t code) {
    return code == WSAEWOULDBLOCK;
}
int PollOne(WSAPOLLFD& p, int ms) {
    return WSAPoll(&p, 1, ms);
}
void StartUp() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}
using TPollFd = WSAPOLLFD;
constexpr int ShutBoth = SD_BOTH;
#else
using TNative = int;
constexpr TNative Invalid = -1;
std::uint32_t LastError() {
    return std::uint32_t(errno);
}
void CloseNative(TNative s) {
    ::close(s);
}
bool SetBlocking(TNative s, bool on) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}
bool InProgress(std::uint32_t code) {
    return code == EINPROGRESS;
}
int PollOne(pollfd& p, int ms) {
    return ::poll(&p, 1, ms);
}
void StartUp() {}
using TPollFd = pollfd;
constexpr int ShutBoth = SHUT_RDWR;
#endif

TNative Native(std::intptr_t h) {
    return TNative(h);
}

// One address, within the time left: a host that drops the connection attempt must not
// hold the open for the system's own minutes.
std::uint32_t ConnectOne(TNative s, const addrinfo& a, std::chrono::milliseconds timeout) {
    if (!SetBlocking(s, false)) return LastError();
    if (::connect(s, a.ai_addr, int(a.ai_addrlen)) != 0) {
        const std::uint32_t code = LastError();
        if (!InProgress(code)) return code;
        TPollFd p{};
        p.fd = s;
        p.events = POLLOUT;
        const int n = PollOne(p, int(timeout.count()));
        if (n < 0) return LastError();
        if (n == 0) return qwin::ERROR_TIMEOUT;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        if (err != 0) return std::uint32_t(err);
    }
    return SetBlocking(s, true) ? 0 : LastError();
}

} // namespace

TSocket::~TSocket() {
    if (FHandle != -1) CloseNative(Native(FHandle));
}

std::uint32_t TSocket::Connect(const std::string& host, const std::string& port,
                               std::chrono::milliseconds timeout) {
    StartUp();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return ResolveFailed;
    std::uint32_t code = ResolveFailed;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const TNative s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == Invalid) {
            code = LastError();
            continue;
        }
        code = ConnectOne(s, *a, timeout);
        if (code == 0) {
            // Small writes (a command, a typed key) go at once.
            int on = 1;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            FHandle = std::intptr_t(s);
            break;
        }
        CloseNative(s);
    }
    freeaddrinfo(found);
    return code;
}

std::uint32_t TSocket::SendAll(const char* p, std::size_t n) {
    while (n > 0) {
#ifdef _WIN32
        const int sent = ::send(Native(FHandle), p, int(n), 0);
#else
        const ssize_t sent = ::send(Native(FHandle), p, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
#endif
        if (sent < 0) return LastError();
        p += sent;
        n -= std::size_t(sent);
    }
    return 0;
}

std::uint32_t TSocket::Receive(char* p, std::size_t n, std::size_t& received) {
    for (;;) {
#ifdef _WIN32
        const int got = ::recv(Native(FHandle), p, int(n), 0);
#else
        const ssize_t got = ::recv(Native(FHandle), p, n, 0);
        if (got < 0 && errno == EINTR) continue;
#endif
        if (got < 0) return LastError();
        received = std::size_t(got);
        return 0;
    }
}

void TSocket::Shutdown() {
    if (FHandle != -1) ::shutdown(Native(FHandle), ShutBoth);
}

} // namespace qnet
