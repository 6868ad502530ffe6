#pragma once
// A ser2net of the test's own serving one device over RFC 2217 on a free local port; its
// configuration lives in a scratch directory.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchDir.h"

#include <memory>
#include <string>

namespace quillon_test {

class TSer2net {
  public:
    /// Starts ser2net in front of device and returns once it listens; throws
    /// std::runtime_error when it does not within 10 s.
    explicit TSer2net(const std::string& device);
    /// The port's name for CreateFile: rfc2217://127.0.0.1:PORT (a fresh system may resolve no
    /// names at all).
    std::string Name() const;
    int Port() const { return FPort; }

  private:
    TScratchDir FDir{"ser2net"};
    int FPort = 0;
    std::unique_ptr<TChildProcess> FServer;
};

/// A TCP port nobody listens on now.
int FreeLocalPort();

} // namespace quillon_test
