#pragma once
// The name lookup of a connection, the same on both systems; only the socket calls around
// it differ (linux/net, win32/net).
#include <cstdint>
#include <functional>
#include <string>

struct addrinfo;

namespace qnet {

/// Calls attempt with each TCP address of host and port in turn until one returns 0.
/// Returns that 0, else the last attempt's code, or TSocket::ResolveFailed when host does
/// not resolve.
std::uint32_t TryAddresses(const std::string& host, const std::string& port,
                           const std::function<std::uint32_t(const addrinfo&)>& attempt);

} // namespace qnet
