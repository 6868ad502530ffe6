#pragma once
// Names of ports on another machine: rfc2217://host:port, the host a name, an IPv4 address
// or an IPv6 address in brackets.
#include <optional>
#include <string>

namespace qnet {

inline constexpr char RemotePrefix[] = "rfc2217://";

struct TRemoteName {
    std::string Host; ///< without brackets
    std::string Port; ///< decimal, 1 to 65535
};

/// The host and port of a name that starts with RemotePrefix; nullopt when malformed.
std::optional<TRemoteName> ParseRemoteName(const std::string& name);

} // namespace qnet
