#pragma once
// The other end of a pty: the test holds its master.
#include "device_fixture.h"
#include "posix_pty.h"

namespace quillon_test {

class PtyEnd : public OtherEnd {
  public:
    Pty pty;
    string DeviceName() const override { return pty.Name(); }
    void Feed(const std::string& bytes) override { pty.Feed(bytes); }
    std::string Take(size_t n) override { return pty.Drain(n); }
    bool Quiet(int ms) override {
        pollfd p{pty.Master(), POLLIN, 0};
        return poll(&p, 1, ms) == 0;
    }
};

} // namespace quillon_test
