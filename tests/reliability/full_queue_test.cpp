// A peer that never reads: a long non-waiting write ends in "Timeout" when a write
// time-out is set, AbortOutput ends it when none is, and closing never waits for it.
#include "../comport/event_pty.h"

#include <poll.h>
#include <thread>

namespace quillon::reliability {
namespace {

using eventtest::EventTest;
using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

constexpr size_t kMiB = 1 << 20;

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return b;
}

enum class TDevice { Pty, Virtual };

class FullQueue : public EventTest, public ::testing::WithParamInterface<TDevice> {
  protected:
    void SetUp() override {
        EventTest::SetUp();
        if (GetParam() == TDevice::Pty) {
            pty = std::make_unique<eventtest::TPty>();
            port.SetDeviceName(pty->DeviceName());
        } else {
            peer = std::make_unique<eventtest::TPeer>(Pair.B());
            ASSERT_TRUE(qwin::SetupComm(peer->Handle, 4096, 0)); // it fills and stays full
            Aim(port);
        }
        port.SetOnError(Error);
    }
    void TearDown() override {
        port.Close();
        EventTest::TearDown();
    }
    /// Every byte the far end accepted, taken out of it. On a pty bytes may still be on
    /// their way, so a mark is written behind them and everything up to it is read.
    std::vector<uint8_t> TakeAccepted() {
        std::vector<uint8_t> got;
        if (!pty) {
            got.resize(Pair.B().Queued().Input);
            qwin::DWORD done = 0;
            qwin::ReadFile(peer->Handle, got.data(), qwin::DWORD(got.size()), &done, nullptr);
            got.resize(done);
            return got;
        }
        static const std::string mark = "<end of the bytes the pty took>";
        std::thread reader([&] {
            uint8_t buf[65536];
            auto endsWithMark = [&] {
                return got.size() >= mark.size() &&
                       std::equal(mark.begin(), mark.end(), got.end() - mark.size());
            };
            while (!endsWithMark()) {
                pollfd p{pty->Master(), POLLIN, 0};
                if (::poll(&p, 1, 10000) != 1) return; // the test fails on the missing mark
                const ssize_t n = ::read(pty->Master(), buf, sizeof buf);
                if (n <= 0) return;
                got.insert(got.end(), buf, buf + n);
            }
        });
        port.Write(mark.data(), static_cast<int32_t>(mark.size()), true);
        reader.join();
        const bool marked = got.size() >= mark.size() &&
                            std::equal(mark.begin(), mark.end(), got.end() - mark.size());
        EXPECT_TRUE(marked) << "the mark never came";
        if (marked) got.resize(got.size() - mark.size());
        return got;
    }

    std::unique_ptr<eventtest::TPty> pty;
    std::unique_ptr<eventtest::TPeer> peer;
    TComPort port{nullptr};
    std::vector<std::string> Errors;
    ComError Error{
        [this](TCustomComPort*, EComError& e, TComAction&) { Errors.push_back(e.what()); }};
};

TEST_P(FullQueue, AWriteTimeOutEndsALongWriteWithTimeoutAndAShortCount) {
    port.Timeouts().SetWriteConstant(200);
    port.Open();
    const std::vector<uint8_t> data = Pattern(kMiB);
    port.Write(data.data(), static_cast<int32_t>(data.size()), false);
    EXPECT_THROW(port.WaitForWriteCompletion(), EComError);
    EXPECT_EQ(Errors, std::vector<std::string>{"Timeout"});

    const std::vector<uint8_t> taken = TakeAccepted();
    EXPECT_GT(taken.size(), 0u);
    EXPECT_LT(taken.size(), kMiB);
    EXPECT_TRUE(std::equal(taken.begin(), taken.end(), data.begin())) << "not the data's start";
    RecordProperty("short_count", static_cast<int>(taken.size()));
    std::cout << "write of " << kMiB << " bytes ended short at " << taken.size() << " bytes\n";
    EXPECT_FALSE(port.WritePending());
}

TEST_P(FullQueue, WithoutTimeOutsAbortOutputEndsTheWrite) {
    port.Open();
    const std::vector<uint8_t> data = Pattern(kMiB);
    port.Write(data.data(), static_cast<int32_t>(data.size()), false);
    ASSERT_TRUE(port.WritePending());
    port.AbortOutput();
    EXPECT_FALSE(port.WritePending());
    port.WaitForWriteCompletion(); // an aborted write is over: nothing to report
    // What the far end took is the data's start, and the port writes on behind it.
    const std::vector<uint8_t> taken = TakeAccepted();
    EXPECT_LT(taken.size(), kMiB);
    EXPECT_TRUE(std::equal(taken.begin(), taken.end(), data.begin())) << "not the data's start";
    EXPECT_TRUE(Errors.empty());
}

TEST_P(FullQueue, ClosingWithAStuckWriteReturnsAndSendsNoMore) {
    port.Open();
    const std::vector<uint8_t> data = Pattern(kMiB);
    port.Write(data.data(), static_cast<int32_t>(data.size()), false);
    ASSERT_TRUE(port.WritePending());
    port.Close();
    EXPECT_FALSE(port.Active());
    EXPECT_FALSE(port.WritePending());
    port.Open(); // the device is whole again and writes
    EXPECT_TRUE(port.Active());
    EXPECT_LT(TakeAccepted().size(), kMiB);
    EXPECT_TRUE(Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Devices, FullQueue, ::testing::Values(TDevice::Pty, TDevice::Virtual),
                         [](const auto& info) {
                             return std::string(info.param == TDevice::Pty ? "Pty" : "Virtual");
                         });

} // namespace
} // namespace quillon::reliability
