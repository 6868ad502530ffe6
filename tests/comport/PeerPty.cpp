// The pty peer: Linux, where the test opens a pty of its own.
#include "Peer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace quillon::test {

namespace {

class TPtyPeer : public TPeer {
  public:
    string DeviceName() const override { return FPty.DeviceName(); }

    void Send(const Bytes& bytes) override {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::write(FPty.Master(), bytes.data() + sent, bytes.size() - sent);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) Fail("write to pty master");
            sent += static_cast<size_t>(n);
        }
    }

    Bytes Receive(size_t n) override {
        Bytes got;
        got.reserve(n);
        uint8_t chunk[4096];
        while (got.size() < n) {
            pollfd p{FPty.Master(), POLLIN, 0};
            int ready = ::poll(&p, 1, kPatienceMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) {
                ADD_FAILURE() << "pty master: " << got.size() << " of " << n << " bytes came";
                break;
            }
            ssize_t r = ::read(FPty.Master(), chunk, std::min(sizeof chunk, n - got.size()));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) Fail("read from pty master");
            got.insert(got.end(), chunk, chunk + r);
        }
        return got;
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

TPty::TPty() {
    char name[256];
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) Fail("openpty");
    FPath = name;
}

TPty::~TPty() {
    ::close(FSlave);
    ::close(FMaster);
}

string TPty::DeviceName() const {
    return rtl::Utf8ToString(FPath);
}

std::vector<TDeviceKind> DeviceKinds() {
    return {TDeviceKind::Virtual, TDeviceKind::Pty};
}

std::unique_ptr<TPeer> MakePeer(TDeviceKind kind) {
    if (kind == TDeviceKind::Pty) return std::make_unique<TPtyPeer>();
    return MakeVirtualPeer();
}

} // namespace quillon::test
