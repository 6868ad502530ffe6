#include "platform/DeviceNames.h"

#include "platform/net/NetPort.h"
#include "platform/net/RemoteName.h"
#include "rtl/Text.h"

#include <map>
#include <mutex>

namespace qwin::detail {

namespace {

struct Namespaces {
    std::mutex mu;
    std::map<std::string, Opener> openers;
};

Namespaces& namespaces() {
    // Ports on other machines are there on every system, without registering.
    static Namespaces n{{}, {{qnet::RemotePrefix, &qnet::TNetPort::Open}}};
    return n;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

void RegisterNamespace(const std::string& prefix, Opener opener) {
    Namespaces& n = namespaces();
    std::lock_guard lock(n.mu);
    if (opener)
        n.openers[prefix] = std::move(opener);
    else
        n.openers.erase(prefix);
}

Opener NamespaceOpener(const std::string& normalised) {
    Namespaces& n = namespaces();
    std::lock_guard lock(n.mu);
    for (auto& [prefix, opener] : n.openers)
        if (!prefix.empty() && StartsWith(normalised, prefix)) return opener;
    return {};
}

std::string NormaliseDeviceName(const string& name) {
    std::string s = rtl::StringToUtf8(name);
    if (StartsWith(s, "\\\\.\\")) s.erase(0, 4);
    if (s.empty() || IsSystemPath(s) || NamespaceOpener(s)) return s;
    return SystemDevicePath(s);
}

std::string DeviceKey(const std::string& normalised) {
    if (normalised.empty() || NamespaceOpener(normalised)) return normalised;
    return SystemDeviceKey(normalised);
}

} // namespace qwin::detail
