#pragma once
// A real port named in the environment: QUILLON_TEST_PORT wired to a loopback plug (TX-RX,
// RTS-CTS, DTR-DSR-DCD), or QUILLON_TEST_PORT and QUILLON_TEST_PEER, the two ends of a
// null-modem cable (the peer's RTS to CTS, its DTR to DSR and DCD).
#include "device_fixture.h"
#include "rtl/Text.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace quillon_test {

inline const char* TestPort() {
    return std::getenv("QUILLON_TEST_PORT");
}
inline const char* TestPeer() {
    return std::getenv("QUILLON_TEST_PEER");
}

class HardwareEnd : public PeerEnd {
  public:
    HardwareEnd() {
        if (peer_.Valid()) Prepare(peer_);
    }
    string DeviceName() const override { return rtl::Utf8ToString(TestPort()); }
    bool CarriesData() const override { return peer_.Valid(); }
    void Attach(HANDLE port) override { port_ = port; }
    bool Quiet(int ms) override {
        const COMMTIMEOUTS quick{0, 0, DWORD(ms), 0, 5000};
        char c;
        DWORD done = 0;
        SetCommTimeouts(peer_, quick);
        ReadFile(peer_, &c, 1, &done, nullptr);
        Prepare(peer_);
        return done == 0;
    }
    bool LineError(DWORD ce) override {
        if (ce != CE_BREAK || !SetCommBreak(LineDriver())) return false;
        // A break is a line held low for longer than a character; this is its length.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return ClearCommBreak(LineDriver());
    }

  protected:
    HANDLE Peer() const override { return peer_; }
    HANDLE LineDriver() const override { return peer_.Valid() ? peer_.get() : port_; }

  private:
    Handle peer_{TestPeer() ? OpenPort(rtl::Utf8ToString(TestPeer())) : INVALID_HANDLE_VALUE};
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

} // namespace quillon_test
