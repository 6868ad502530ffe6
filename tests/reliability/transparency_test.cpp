// Raw mode is raw: no byte value is translated, dropped or doubled on a pty, except the
// two flow-control characters once XON/XOFF is asked for.
#include "../comport/Peer.h"

#include <gtest/gtest.h>

namespace quillon::reliability {
namespace {

using test::Bytes;

constexpr uint8_t kMark = 'E';

Bytes EveryByteValue() {
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    return all;
}

// Line ends in every arrangement a line discipline rewrites (CR→LF, LF→CR LF, CR dropped).
Bytes LineEnds() {
    const std::string s = "\r\r\n\n\r\nA\rB\n\rC\r";
    return Bytes(s.begin(), s.end());
}

Bytes WithMark(Bytes b) {
    b.push_back(kMark);
    return b;
}

class Transparency : public ::testing::Test {
  protected:
    void SetUp() override {
        port.SetDeviceName(peer->DeviceName());
        // Only a failing test waits this long: a short read then raises "Timeout".
        port.Timeouts().SetReadConstant(10000);
    }
    /// Sends bytes and a closing mark to the open port and reads count bytes and the mark:
    /// a byte lost, added or changed anywhere shows in what is read.
    Bytes RoundIn(const Bytes& bytes, size_t count) {
        peer->Send(WithMark(bytes));
        Bytes got(count + 1);
        port.Read(got.data(), static_cast<int32_t>(got.size()), true);
        return got;
    }
    /// Writes bytes from the open port and returns what reached the peer.
    Bytes RoundOut(const Bytes& bytes) {
        port.Write(bytes.data(), static_cast<int32_t>(bytes.size()), true);
        return peer->Receive(bytes.size());
    }

    std::unique_ptr<test::TPeer> peer = test::MakePeer(test::TDeviceKind::Pty);
    TComPort port{nullptr};
};

TEST_F(Transparency, EveryByteValueAndEveryLineEndPassUnchangedBothWays) {
    port.Open();
    for (const Bytes& bytes : {EveryByteValue(), LineEnds()}) {
        EXPECT_EQ(RoundOut(bytes), bytes);
        EXPECT_EQ(RoundIn(bytes, bytes.size()), WithMark(bytes));
    }
    // One value at a time too: no byte depends on a neighbour to pass.
    for (int v = 0; v < 256; ++v) {
        const Bytes one{static_cast<uint8_t>(v)};
        ASSERT_EQ(RoundIn(one, 1), WithMark(one)) << "byte " << v << " in";
        ASSERT_EQ(RoundOut(one), one) << "byte " << v << " out";
    }
}

TEST_F(Transparency, WithXonXoffExactlyTheTwoFlowCharactersAreWithheld) {
    port.FlowControl().SetXOnXOff(xcInputOutput);
    port.Open();
    Bytes expected;
    for (uint8_t b : EveryByteValue())
        if (b != 0x11 && b != 0x13) expected.push_back(b);
    // XON last, so output is not left stopped by the XOFF before it.
    Bytes sent = EveryByteValue();
    sent.push_back(0x11);
    EXPECT_EQ(RoundIn(sent, expected.size()), WithMark(expected));
}

} // namespace
} // namespace quillon::reliability
