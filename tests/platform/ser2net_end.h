#pragma once
// The other end of a network port: a pty whose master the test holds, served by ser2net.
#include "pty_end.h"
#include "tests/support/Ser2net.h"

namespace quillon_test {

class Ser2netEnd : public PtyEnd {
  public:
    TSer2net server{pty.Path()};
    string DeviceName() const override { return rtl::Utf8ToString(server.Name()); }
};

} // namespace quillon_test
