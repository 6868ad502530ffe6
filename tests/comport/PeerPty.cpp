// The pty peer: Linux, where the test opens a pty of its own.
#include "Peer.h"
#include "PtyPort.h"

#include <gtest/gtest.h>
#include <poll.h>

namespace quillon::test {

namespace {

class TPtyPeer : public TPeer {
  public:
    string DeviceName() const override { return FPty.DeviceName(); }

    void Send(const Bytes& bytes) override { FPty.Feed(bytes.data(), bytes.size()); }

    Bytes Receive(size_t n) override {
        const std::string got = FPty.Drain(n, std::chrono::milliseconds(kPatienceMs));
        if (got.size() < n)
            ADD_FAILURE() << "pty master: " << got.size() << " of " << n << " bytes came";
        return Bytes(got.begin(), got.end());
    }

    void AwaitDelivery() override {
        // The pty hands written bytes to the slave's line discipline asynchronously; the
        // slave polls readable once they are there (the port reads with VMIN 0).
        pollfd p{FPty.Slave(), POLLIN, 0};
        if (::poll(&p, 1, kPatienceMs) <= 0) ADD_FAILURE() << "bytes never reached the slave";
    }

  private:
    TPty FPty;
};

} // namespace

std::vector<TDeviceKind> DeviceKinds() {
    return {TDeviceKind::Virtual, TDeviceKind::Pty};
}

std::unique_ptr<TPeer> MakePeer(TDeviceKind kind) {
    if (kind == TDeviceKind::Pty) return std::make_unique<TPtyPeer>();
    return MakeVirtualPeer();
}

} // namespace quillon::test
