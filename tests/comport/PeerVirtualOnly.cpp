// Systems without ptys (Windows): the suites run on the in-memory pair only; the real-port
// suite covers real ports there.
#include "Peer.h"

#include <stdexcept>

namespace quillon::test {

std::vector<TDeviceKind> DeviceKinds() {
    return {TDeviceKind::Virtual};
}

std::unique_ptr<TPeer> MakePeer(TDeviceKind kind) {
    if (kind != TDeviceKind::Virtual) throw std::logic_error("no pty on this system");
    return MakeVirtualPeer();
}

} // namespace quillon::test
