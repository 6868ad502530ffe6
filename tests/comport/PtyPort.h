#pragma once
// A port's device that is a real tty: a pty pair of the test's own (Linux).
#include "Peer.h"
#include "tests/support/PtyPair.h"

namespace quillon::test {

/// A pty pair of the test's own. The port opens the slave by its path; the test keeps the
/// slave open too, so the line stays up while the port closes and reopens.
struct TPty : quillon_test::TPtyPair {
    /// The slave's path as a port's DeviceName.
    string DeviceName() const { return rtl::Utf8ToString(SlavePath()); }
};

} // namespace quillon::test
