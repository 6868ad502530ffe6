#include "platform/net/RemoteName.h"

namespace qnet {

std::optional<TRemoteName> ParseRemoteName(const std::string& name) {
    const std::string prefix = RemotePrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string rest = name.substr(prefix.size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    TRemoteName out;
    std::string::size_type colon;
    if (!rest.empty() && rest[0] == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        out.Host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos || rest.find(':', colon + 1) != std::string::npos)
            return std::nullopt; // an IPv6 address needs its brackets
        out.Host = rest.substr(0, colon);
    }
    out.Port = rest.substr(colon + 1);
    if (out.Host.empty() || out.Port.empty() || out.Port.size() > 5 ||
        out.Port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long port = std::stol(out.Port);
    if (port < 1 || port > 65535) return std::nullopt;
    return out;
}

} // namespace qnet
