#include "platform/net/Addresses.h"

#include "SocketHeaders.h" // the system's own, from its folder
#include "platform/net/Socket.h"

namespace qnet {

std::uint32_t TryAddresses(const std::string& host, const std::string& port,
                           const std::function<std::uint32_t(const addrinfo&)>& attempt) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return TSocket::ResolveFailed;
    std::uint32_t code = TSocket::ResolveFailed;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        code = attempt(*a);
        if (code == 0) break;
    }
    freeaddrinfo(found);
    return code;
}

} // namespace qnet
