#include "platform/net/Socket.h"

#include "platform/net/Addresses.h"

#include <winsock2.h>

#include <mutex>
#include <ws2tcpip.h>

namespace qnet {

namespace {

SOCKET Native(std::intptr_t h) {
    return SOCKET(h);
}

std::uint32_t LastError() {
    return std::uint32_t(WSAGetLastError());
}

void StartUp() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

bool SetBlocking(SOCKET s, bool on) {
    u_long nonBlocking = on ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// One address, within the time left: a host that drops the connection attempt must not
// hold the open for the system's own minutes.
std::uint32_t ConnectOne(SOCKET s, const addrinfo& a, std::chrono::milliseconds timeout) {
    if (!SetBlocking(s, false)) return LastError();
    if (::connect(s, a.ai_addr, int(a.ai_addrlen)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return LastError();
        WSAPOLLFD p{};
        p.fd = s;
        p.events = POLLOUT;
        const int n = WSAPoll(&p, 1, int(timeout.count()));
        if (n < 0) return LastError();
        if (n == 0) return ERROR_TIMEOUT;
        int err = 0;
        int len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        if (err != 0) return std::uint32_t(err);
    }
    return SetBlocking(s, true) ? 0 : LastError();
}

} // namespace

TSocket::~TSocket() {
    if (FHandle != -1) closesocket(Native(FHandle));
}

std::uint32_t TSocket::Connect(const std::string& host, const std::string& port,
                               std::chrono::milliseconds timeout) {
    StartUp();
    return TryAddresses(host, port, [&](const addrinfo& a) {
        const SOCKET s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
        if (s == INVALID_SOCKET) return LastError();
        const std::uint32_t code = ConnectOne(s, a, timeout);
        if (code != 0) {
            closesocket(s);
            return code;
        }
        // Small writes (a command, a typed key) go at once.
        BOOL on = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        FHandle = std::intptr_t(s);
        return code;
    });
}

std::uint32_t TSocket::SendAll(const char* p, std::size_t n) {
    while (n > 0) {
        const int sent = ::send(Native(FHandle), p, int(n), 0);
        if (sent == SOCKET_ERROR) return LastError();
        p += sent;
        n -= std::size_t(sent);
    }
    return 0;
}

std::uint32_t TSocket::Receive(char* p, std::size_t n, std::size_t& received) {
    const int got = ::recv(Native(FHandle), p, int(n), 0);
    if (got == SOCKET_ERROR) return LastError();
    received = std::size_t(got);
    return 0;
}

void TSocket::Shutdown() {
    if (FHandle != -1) ::shutdown(Native(FHandle), SD_BOTH);
}

} // namespace qnet
