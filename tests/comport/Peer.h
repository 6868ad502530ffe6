#pragma once
// The far end of the line a port under test is attached to: a pty the test opened itself,
// or the other end of an in-memory pair. The same transfer tests run on both.
#include "comport/ComPort.h"
#include "platform/virtual/VirtualSerial.h"
#include "tests/support/PtyPair.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<uint8_t>;

/// A pty pair of the test's own. The port opens the slave by its path; the test keeps the
/// slave open too, so the line stays up while the port closes and reopens.
struct TPty : quillon_test::TPtyPair {
    /// The slave's path as a port's DeviceName.
    string DeviceName() const { return rtl::Utf8ToString(SlavePath()); }
};

/// A unique in-memory pair: the port opens end A, the test drives end B.
qvirt::TPair CreateTestPair();

class TPeer {
  public:
    virtual ~TPeer() = default;
    /// The name the port under test opens.
    virtual string DeviceName() const = 0;
    /// Sends bytes towards the port.
    virtual void Send(const Bytes& bytes) = 0;
    /// Waits until n bytes from the port have arrived and returns them; fails the test
    /// (and returns what came) when they do not come within a few seconds.
    virtual Bytes Receive(size_t n) = 0;
    /// Waits until what was sent sits in the port's input queue (no read may be pending).
    virtual void AwaitDelivery() = 0;
};

enum class TDeviceKind { Virtual, Pty };

std::unique_ptr<TPeer> MakePeer(TDeviceKind kind);
/// "Virtual" or "Pty", for parameterised test names.
std::string KindName(TDeviceKind kind);

} // namespace quillon::test
