#pragma once
// The few socket calls the network port makes, one source per system (BSD sockets under
// linux/net, Winsock under win32/net). Every call returns 0 or the system's error code.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qnet {

class TSocket {
  public:
    TSocket() = default;
    ~TSocket();
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    /// Connects to the first address of host that answers within timeout, each in turn.
    /// A host that does not resolve gives ResolveFailed.
    std::uint32_t Connect(const std::string& host, const std::string& port,
                          std::chrono::milliseconds timeout);
    /// Sends all n bytes, blocking while the peer's window is full.
    std::uint32_t SendAll(const char* p, std::size_t n);
    /// Blocks until bytes come; received is 0 when the peer closed the connection.
    std::uint32_t Receive(char* p, std::size_t n, std::size_t& received);
    /// Ends both directions: blocked Receive and SendAll calls return.
    void Shutdown();

    static constexpr std::uint32_t ResolveFailed = 0xFFFFFFFFu;

  private:
    std::intptr_t FHandle = -1;
};

} // namespace qnet
