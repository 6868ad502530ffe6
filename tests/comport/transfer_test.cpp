// Byte transfer on a pty the test opened itself and on an in-memory pair: one suite, two
// devices. What only the in-memory device can show (driver-call counts, an unplugged
// cable) follows at the end.
#include "LogFixture.h"
#include "Peer.h"
#include "Raises.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace quillon::test {
namespace {

using namespace qwin;
using ReadWrite = rtl::Handler<void(TObject*, const void*, int32_t, bool)>;

struct TRequestSeen {
    const void* Buffer;
    int32_t Length;
    bool Wait;
    bool operator==(const TRequestSeen&) const = default;
};

// The log's fixed clock too, for the test that reads the log.
class TransferTest : public LogFixture, public ::testing::WithParamInterface<TDeviceKind> {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        port.SetDeviceName(peer->DeviceName());
        port.Open();
    }

    std::unique_ptr<TPeer> peer = MakePeer(GetParam());
    TComPort port{nullptr};
};

// Reads the port's log lines from a pipe, so another thread learns the moment a request
// has been set up (its line is written after the request's signal was reset).
class TLogPipe {
  public:
    TLogPipe() { EXPECT_EQ(::pipe2(FFds, O_CLOEXEC), 0); }
    ~TLogPipe() {
        ::close(FFds[0]);
        ::close(FFds[1]);
    }
    string Path() const { return rtl::Utf8ToString("/proc/self/fd/" + std::to_string(FFds[1])); }
    /// Waits until a line containing text has been written; false when none comes.
    bool AwaitLine(const std::string& text) {
        while (FText.find(text) == std::string::npos) {
            pollfd p{FFds[0], POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return false;
            char chunk[256];
            ssize_t n = ::read(FFds[0], chunk, sizeof chunk);
            if (n <= 0) return false;
            FText.append(chunk, static_cast<size_t>(n));
        }
        return true;
    }

  private:
    int FFds[2] = {-1, -1};
    std::string FText;
};

TEST_P(TransferTest, AWaitingReadBlocksUntilItsLastByteArrives) {
    TLogPipe log;
    struct TUnlog {
        TComPort& port;
        ~TUnlog() { port.SetLogFile(u""); } // the pipe goes before the port
    } unlog{port};
    port.SetLogFile(log.Path());
    std::atomic<bool> lastSent{false};
    bool pendingAtStart = false, pendingAfterNine = false;
    std::thread sender([&] {
        // Without the line the checks below fail; the bytes still go, so the read ends.
        if (!log.AwaitLine("Read request 10 byte(s)")) ADD_FAILURE() << "no request line";
        pendingAtStart = port.ReadPending();
        peer->Send({0, 1, 2, 3, 4, 5, 6, 7, 8});
        pendingAfterNine = port.ReadPending();
        lastSent = true;
        peer->Send({9});
    });
    uint8_t buffer[10] = {};
    port.Read(buffer, 10, true);
    const bool lastWasSent = lastSent;
    sender.join();
    EXPECT_TRUE(pendingAtStart);
    EXPECT_TRUE(pendingAfterNine);
    EXPECT_TRUE(lastWasSent) << "the read returned before its 10th byte was sent";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buffer[i], i);
    EXPECT_FALSE(port.ReadPending());
}

TEST_P(TransferTest, AReadTotalTimeoutRaisesTimeoutWithTheBytesThatCame) {
    port.Timeouts().SetReadConstant(50);
    peer->Send({'a', 'b', 'c'});
    peer->AwaitDelivery();
    uint8_t buffer[10] = {};
    EXPECT_TRUE(Raises([&] { port.Read(buffer, 10, true); }, 0, STimeout)) << "a short read";
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(buffer[3], 0);
}

TEST_P(TransferTest, ANonWaitingReadIsPendingUntilItsDataCome) {
    uint8_t buffer[3] = {};
    port.Read(buffer, 3, false);
    EXPECT_TRUE(port.ReadPending());
    peer->Send({7, 8, 9});
    port.WaitForReadCompletion();
    EXPECT_FALSE(port.ReadPending());
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{7, 8, 9}));
}

TEST_P(TransferTest, ANonWaitingWriteSendsFromItsOwnCopy) {
    std::vector<TRequestSeen> after;
    ReadWrite afterWrite([&](TObject* sender, const void* buf, int32_t n, bool wait) {
        EXPECT_EQ(sender, &port);
        after.push_back({buf, n, wait});
    });
    port.SetAfterWrite(afterWrite);
    std::vector<uint8_t> data = {'p', 'i', 'n', 'g'};
    port.Write(data.data(), 4, false);
    EXPECT_EQ(after, (std::vector<TRequestSeen>{{data.data(), 4, false}}));
    std::fill(data.begin(), data.end(), 'x'); // the caller's memory is free at once
    EXPECT_EQ(peer->Receive(4), (Bytes{'p', 'i', 'n', 'g'}));
    port.WaitForWriteCompletion();
    EXPECT_FALSE(port.WritePending());
}

TEST_P(TransferTest, AMebibyteInChunksArrivesWholeAndInOrder) {
    constexpr size_t total = 1 << 20, chunk = 4000;
    std::string data(total, '\0');
    for (size_t i = 0; i < total; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    Bytes received;
    std::thread receiver([&] { received = peer->Receive(total); });
    for (size_t at = 0; at < total; at += chunk)
        port.WriteAnsiString(data.substr(at, chunk));
    port.WaitForWriteCompletion();
    receiver.join();
    ASSERT_EQ(received.size(), total);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin(),
                           [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
}

TEST_P(TransferTest, ReadAnsiStringTakesWhatIsWaitingAndNothingLater) {
    peer->Send({'h', 'e', 'l', 'l', 'o'});
    peer->AwaitDelivery();
    bool sentLate = false;
    ReadWrite beforeRead([&](TObject*, const void*, int32_t n, bool) {
        EXPECT_EQ(n, 5);
        if (!sentLate) peer->Send({'!'}); // arrives after the queue was counted
        sentLate = true;
    });
    port.SetBeforeRead(beforeRead);
    EXPECT_EQ(port.ReadAnsiString(), "hello");
    port.SetBeforeRead(nullptr);
    EXPECT_EQ(port.ReadAnsiChar(), '!');
}

TEST_P(TransferTest, ClosedPortRefusesTransfersBeforeAnyEvent) {
    port.Close();
    int events = 0;
    ReadWrite count([&](TObject*, const void*, int32_t, bool) { ++events; });
    port.SetBeforeRead(count);
    port.SetBeforeWrite(count);
    uint8_t buffer[1];
    EXPECT_TRUE(Raises([&] { port.Read(buffer, 1, true); }, 0, SClosedPort));
    EXPECT_TRUE(Raises([&] { port.Write(buffer, 1, true); }, 0, SClosedPort));
    EXPECT_TRUE(Raises([&] { port.WaitForReadCompletion(); }, 0, SClosedPort));
    EXPECT_TRUE(Raises([&] { port.WaitForWriteCompletion(); }, 0, SClosedPort));
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(port.ReadPending());
    EXPECT_FALSE(port.WritePending());
}

TEST_P(TransferTest, ZeroBytesStillCompleteThePreviousRequestAndCallBothEvents) {
    std::vector<TRequestSeen> seen;
    ReadWrite record([&](TObject*, const void* buf, int32_t n, bool wait) {
        seen.push_back({buf, n, wait});
    });
    uint8_t buffer[2];
    port.Read(buffer, 2, false);
    port.SetBeforeRead(record);
    port.SetAfterRead(record);
    peer->Send({5, 6});
    port.Read(buffer, 0, true);
    EXPECT_FALSE(port.ReadPending()) << "the earlier read was completed";
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{5, 6}));
    EXPECT_EQ(seen, (std::vector<TRequestSeen>{{buffer, 0, true}, {buffer, 0, true}}));
}

TEST_P(TransferTest, ANegativeCountIsRefusedAndThePortStaysUsable) {
    int events = 0;
    ReadWrite count([&](TObject*, const void*, int32_t, bool) { ++events; });
    port.SetBeforeRead(count);
    port.SetBeforeWrite(count);
    uint8_t buffer[4] = {'n', 'o', 'p', 'e'};
    const std::string invalid = SysErrorMessage(ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(Raises([&] { port.Write(buffer, -4, true); }, ERROR_INVALID_PARAMETER, invalid));
    EXPECT_TRUE(Raises([&] { port.Read(buffer, -1, true); }, ERROR_INVALID_PARAMETER, invalid));
    EXPECT_THROW(port.Write(nullptr, 2, false), EComError) << "no data behind a count";
    EXPECT_EQ(events, 0);
    port.WriteAnsiString("ok");
    EXPECT_EQ(peer->Receive(2), (Bytes{'o', 'k'}));
}

TEST_P(TransferTest, TwoNonWaitingWritesCompleteTheFirstBeforeTheSecondStarts) {
    port.SetLogFile(rtl::Utf8ToString(PathOf("port.log")));
    port.WriteAnsiString("AB");
    port.WriteAnsiString("C");
    EXPECT_EQ(ReadFile(PathOf("port.log")), std::string(kStamp) + "Write request $41, $42\n" +
                                                kStamp + "Write complete $41, $42\n" + kStamp +
                                                "Write request $43\n");
    EXPECT_EQ(peer->Receive(3), (Bytes{'A', 'B', 'C'}));
}

INSTANTIATE_TEST_SUITE_P(OnBothDevices, TransferTest, ::testing::ValuesIn(DeviceKinds()), KindName);

// ---- what only the in-memory device shows

class VirtualTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port.SetDeviceName(pair.A().DeviceName());
        port.Open();
        pair.A().ResetCalls();
    }
    qvirt::TPair pair = CreateTestPair();
    TComPort port{nullptr};
};

TEST_F(VirtualTransferTest, RefusedRequestsNeverReachTheDriver) {
    uint8_t buffer[2] = {};
    EXPECT_THROW(port.Write(buffer, -1, false), EComError);
    EXPECT_THROW(port.Read(buffer, -2, true), EComError);
    EXPECT_THROW(port.Read(nullptr, 2, true), EComError);
    ReadWrite refuse([](TObject*, const void*, int32_t, bool) { throw rtl::Exception("no"); });
    port.SetBeforeWrite(refuse);
    EXPECT_THROW(port.WriteAnsiString("zz"), rtl::Exception);
    EXPECT_EQ(pair.A().Calls(), qvirt::TDriverCalls{});
}

TEST_F(VirtualTransferTest, AnUnpluggedDeviceReportsTheDeviceLostCode) {
    pair.Unplug();
    EXPECT_TRUE(Raises([&] { port.WriteAnsiString("lost"); }, ERROR_ACCESS_DENIED))
        << "a write to an unplugged device";
    EXPECT_FALSE(port.WritePending());
    port.Close(); // releases everything without a wait that never ends
    EXPECT_FALSE(port.Active());
}

} // namespace
} // namespace quillon::test
