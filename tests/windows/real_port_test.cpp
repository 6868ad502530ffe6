// The component on real COM ports of Windows (run under Wine), each backed by a Linux pty
// that the helper owns: what Linux sees of the settings, bytes both ways, line events,
// time-outs, purges and a pulled cable.
#include "PtyHelper.h"
#include "SerialMap.h"
#include "tests/comport/event_fixture.h"
#include "wine_profile.h"

#include <algorithm>
#include <chrono>
#include <numeric>

namespace quillon::wintest {
namespace {

using namespace std::chrono_literals;
using eventtest::EventTest;
using Notify = rtl::Handler<void(TObject*)>;
using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

constexpr int TIOCM_CTS = 0x020;

class RealPort : public EventTest {
  protected:
    void SetUp() override {
        EventTest::SetUp();
        ASSERT_TRUE(Helper.Connected()) << "the pty helper is not running (QUILLON_PTY_HELPER)";
        Com = Helper.NewPort();
        Port.SetDeviceName(rtl::Utf8ToString(Com));
    }
    void TearDown() override {
        Port.Close();
        EventTest::TearDown();
    }

    /// Sends bytes from Linux and runs the loop until OnRxChar has read them all.
    std::vector<uint8_t> ReceiveThroughRxChar(const std::vector<uint8_t>& bytes, int& calls) {
        std::vector<uint8_t> got;
        Notify rx([&](TObject*) {
            ++calls;
            for (uint8_t b : Port.ReadBytes())
                got.push_back(b);
        });
        Port.SetOnRxChar(rx);
        Port.Open();
        Helper.Send(bytes);
        EXPECT_TRUE(RunUntil([&] { return got.size() >= bytes.size(); }));
        return got;
    }

    TPtyHelper Helper;
    std::string Com;
    TComPort Port{nullptr};
};

TEST_F(RealPort, APortOfTheSerialDeviceMapIsListedAndOpensByThatName) {
    const TSerialMapEntry entry("QuillonTest", Com);
    ASSERT_TRUE(entry.Written());
    rtl::TStringList listed;
    Port.EnumComDevicesFromRegistry(listed);
    const auto& names = listed.Items();
    ASSERT_NE(std::find(names.begin(), names.end(), rtl::Utf8ToString(Com)), names.end());
    Port.Open();
    EXPECT_TRUE(Port.Active());
}

TEST_F(RealPort, OpensWithTheDefaultsAndLeavesTheLineRaw) {
    const std::string before = Helper.Termios();
    Port.Open();
    ASSERT_TRUE(Port.Active());
    qwin::DCB dcb{};
    ASSERT_TRUE(qwin::GetCommState(Port.Handle(), dcb));
    const std::string after = Helper.Termios();
    EXPECT_EQ(after, before) << "opening with the defaults changes nothing";
    EXPECT_NE(after.find("speed=" + std::to_string(dcb.BaudRate) + " "), std::string::npos)
        << after;
    EXPECT_NE(after.find("raw=1"), std::string::npos) << after;
}

TEST_F(RealPort, SettingsReachLinux) {
    Port.SetBaudRate(br115200);
    Port.SetStopBits(sb2);
    Port.FlowControl().SetRTS(rcHandshake);
    Port.Open();
    EXPECT_EQ(Helper.Termios(), "speed=115200 csize=8 parenb=0 cstopb=1 crtscts=1 raw=1");
    Port.SetBaudRate(br9600); // while open: pushed at once
    EXPECT_EQ(Helper.Termios().substr(0, 11), "speed=9600 ");
}

TEST_F(RealPort, AllByteValuesTravelBothWays) {
    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    Port.SetBaudRate(br115200);
    Port.Open();
    Port.Write(all.data(), static_cast<int32_t>(all.size()), true);
    EXPECT_EQ(Helper.Receive(all.size(), 5000), all);

    Helper.Send(all);
    std::vector<uint8_t> got(all.size());
    Port.Timeouts().SetReadConstant(5000);
    Port.Read(got.data(), static_cast<int32_t>(got.size()), true);
    EXPECT_EQ(got, all);
}

TEST_F(RealPort, ArrivingBytesAreDispatchedToOnRxChar) {
    int calls = 0;
    const std::vector<uint8_t> hello{'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(ReceiveThroughRxChar(hello, calls), hello);
    if (RxCharRepeatsWhileQueued())
        EXPECT_GE(calls, 1);
    else
        EXPECT_EQ(calls, 1);
}

TEST_F(RealPort, ACtsChangeIsDispatchedAndSeenInTheModemStatus) {
    int changes = 0;
    Notify cts([&](TObject*) { ++changes; });
    Port.SetOnCTSChange(cts);
    Port.Open();
    Helper.SetLines(TIOCM_CTS);
    ASSERT_TRUE(RunUntil([&] { return changes > 0; }));
    EXPECT_TRUE(Port.ModemStatus().Contains(msCTS));
    Helper.SetLines(0);
    ASSERT_TRUE(RunUntil([&] { return changes > 1; }));
    EXPECT_FALSE(Port.ModemStatus().Contains(msCTS));
}

TEST_F(RealPort, AReadWithNothingToReadEndsAfterItsTotalTimeOut) {
    Port.Timeouts().SetReadConstant(300);
    Port.Open();
    uint8_t buf[8];
    const auto start = std::chrono::steady_clock::now();
    // The device ends the read with 0 bytes (Wine's time-out error is made alike in the
    // backend); the component reports the short read as its own time-out.
    try {
        Port.Read(buf, sizeof buf, true);
        ADD_FAILURE() << "a read of nothing completed";
    } catch (const EComError& e) {
        EXPECT_EQ(e.ErrorCode, 0);
        EXPECT_STREQ(e.Message().c_str(), STimeout);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 280ms);
    EXPECT_LT(took, 2000ms);
    Helper.Send({'x'});
    Port.Read(buf, 1, true);
    EXPECT_EQ(buf[0], 'x') << "the port still reads after a time-out";
}

TEST_F(RealPort, PurgeDiscardsWhatArrived) {
    int calls = 0;
    Notify rx([&](TObject*) { ++calls; });
    Port.SetOnRxChar(rx);
    Port.Open();
    Helper.Send({'a', 'b', 'c'});
    ASSERT_TRUE(RunUntil([&] { return calls > 0; }));
    qwin::COMSTAT stat{};
    ASSERT_TRUE(qwin::ClearCommError(Port.Handle(), nullptr, &stat));
    EXPECT_GT(stat.cbInQue, 0u);
    ASSERT_TRUE(qwin::PurgeComm(Port.Handle(), qwin::PURGE_RXCLEAR | qwin::PURGE_TXCLEAR));
    ASSERT_TRUE(qwin::ClearCommError(Port.Handle(), nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
}

TEST_F(RealPort, APulledCableIsADeviceLoss) {
    std::vector<int32_t> codes;
    ComError onError(
        [&](TCustomComPort*, EComError& e, TComAction&) { codes.push_back(e.ErrorCode); });
    Port.SetOnError(onError);
    Notify rx([](TObject*) {});
    Port.SetOnRxChar(rx);
    Port.Open();
    Helper.HangUp();
    if (!WaitEndsOnHangUp()) {
        const uint8_t byte = 'x';
        try {
            Port.Write(&byte, 1, true);
            ADD_FAILURE() << "a write to a hung-up port succeeded";
        } catch (const EComError& e) {
            EXPECT_EQ(e.ErrorCode, static_cast<int32_t>(qwin::ERROR_ACCESS_DENIED));
        }
    }
    ASSERT_TRUE(RunUntil([&] { return !Port.Active(); }));
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), static_cast<int32_t>(qwin::ERROR_ACCESS_DENIED));
}

} // namespace
} // namespace quillon::wintest
