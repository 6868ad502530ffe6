#pragma once
// The far end of the line a port under test is attached to: a pty the test opened itself,
// or the other end of an in-memory pair. The same transfer tests run on both.
#include "comport/ComPort.h"
#include "platform/virtual/VirtualSerial.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<uint8_t>;

/// Long enough for a loaded sanitizer run; only ever reached when a test is failing.
constexpr int kPatienceMs = 10000;
/// Raises std::runtime_error with what failed and errno's text.
[[noreturn]] void Fail(const char* what);

/// A unique in-memory pair: the port opens end A, the test drives end B.
qvirt::TPair CreateTestPair();
/// Opens an end of a pair as a program opens a device, for overlapped transfers.
inline qwin::HANDLE OpenEnd(const qvirt::TEnd& end) {
    using namespace qwin;
    return CreateFile(end.DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, 0);
}

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

/// The kinds this system has: Pty only where the test can open a pty (Linux).
std::vector<TDeviceKind> DeviceKinds();
std::unique_ptr<TPeer> MakePeer(TDeviceKind kind);
/// The far end of a fresh in-memory pair.
std::unique_ptr<TPeer> MakeVirtualPeer();
/// "Virtual" or "Pty": the names of tests run on each kind.
std::string KindName(const ::testing::TestParamInfo<TDeviceKind>& info);

} // namespace quillon::test
