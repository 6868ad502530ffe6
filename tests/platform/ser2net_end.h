#pragma once
// The other end of a network port: a pty whose master the test holds, served by ser2net.
#include "device_fixture.h"
#include "posix_pty.h"
#include "tests/support/Ser2net.h"

namespace quillon_test {

class Ser2netEnd : public OtherEnd {
  public:
    Pty pty;
    TSer2net server{pty.Path()};
    string DeviceName() const override { return rtl::Utf8ToString(server.Name()); }
    void Feed(const std::string& bytes) override { pty.Feed(bytes); }
    std::string Take(size_t n) override { return pty.Drain(n); }
    bool Quiet(int ms) override {
        pollfd p{pty.Master(), POLLIN, 0};
        return poll(&p, 1, ms) == 0;
    }
};

} // namespace quillon_test
