// A million seeded random bytes each way over a pty, in random chunks, with waiting and
// non-waiting writes mixed: every byte arrives once, in order, and every count agrees.
#include "../comport/Peer.h"
#include "../comport/event_pty.h"
#include "tests/support/FdIo.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace quillon::reliability {
namespace {

using namespace std::chrono_literals;
using eventtest::EventTest;
using test::Bytes;
using ReadWrite = rtl::Handler<void(TObject*, const void*, int32_t, bool)>;
using Notify = rtl::Handler<void(TObject*)>;

constexpr size_t kTotal = 1'000'000;

Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& v : b)
        v = static_cast<uint8_t>(byte(rng));
    return b;
}

// Writes all of data to fd in random chunks of 1..4096 bytes, blocking on a full pty.
void WriteInChunks(int fd, const Bytes& data, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> chunk(1, 4096);
    size_t sent = 0;
    while (sent < data.size()) {
        const size_t n = std::min(chunk(rng), data.size() - sent);
        if (!quillon_test::WriteAll(fd, data.data() + sent, n)) return; // fails on the count
        sent += n;
    }
}

// How many of the 256 byte values occur in b.
int DistinctValues(const Bytes& b) {
    std::array<bool, 256> seen{};
    for (uint8_t v : b)
        seen[v] = true;
    return static_cast<int>(std::count(seen.begin(), seen.end(), true));
}

size_t FirstDifference(const Bytes& a, const Bytes& b) {
    const auto m = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return static_cast<size_t>(m.first - a.begin());
}

using IntegritySoak = EventTest;

TEST_F(IntegritySoak, AMillionRandomBytesEachWayArriveIntactOverAPty) {
    std::mt19937 rng(20240601);
    const Bytes toPort = RandomBytes(rng, kTotal);
    const Bytes fromPort = RandomBytes(rng, kTotal);
    ASSERT_EQ(DistinctValues(toPort), 256);
    ASSERT_EQ(DistinctValues(fromPort), 256);
    test::TPty pty;

    TComPort port(nullptr);
    port.SetDeviceName(pty.DeviceName());
    Bytes received;
    received.reserve(kTotal);
    Notify rx([&](TObject*) {
        const AnsiString chunk = port.ReadAnsiString();
        received.insert(received.end(), chunk.begin(), chunk.end());
    });
    size_t afterWriteTotal = 0, afterWriteCalls = 0;
    ReadWrite afterWrite([&](TObject*, const void*, int32_t n, bool) {
        afterWriteTotal += static_cast<size_t>(n);
        ++afterWriteCalls;
    });
    port.SetOnRxChar(rx);
    port.SetAfterWrite(afterWrite);
    port.Open();

    Bytes atPeer;
    std::thread reader([&] {
        const std::string got = pty.Drain(kTotal, std::chrono::seconds(20));
        atPeer.assign(got.begin(), got.end());
    });
    std::thread writer([&] { WriteInChunks(pty.Master(), toPort, 7); });

    std::uniform_int_distribution<size_t> chunk(1, 4096);
    std::bernoulli_distribution waiting(0.5);
    size_t sent = 0, writes = 0, waited = 0;
    while (sent < kTotal) {
        const size_t n = std::min(chunk(rng), kTotal - sent);
        const bool wait = waiting(rng);
        port.Write(fromPort.data() + sent, static_cast<int32_t>(n), wait);
        sent += n;
        ++writes;
        waited += wait;
        Loop.ProcessPending(); // the reception goes on between writes
    }
    port.WaitForWriteCompletion();
    // The writer may be blocked on a full pty until the loop reads again.
    EXPECT_TRUE(Loop.RunUntil([&] { return received.size() >= kTotal; }, 60s))
        << received.size() << " of " << kTotal << " bytes reached the port";
    writer.join();
    reader.join();
    port.Close();

    ASSERT_EQ(received.size(), kTotal);
    EXPECT_EQ(FirstDifference(received, toPort), kTotal) << "first byte that differs";
    ASSERT_EQ(atPeer.size(), kTotal);
    EXPECT_EQ(FirstDifference(atPeer, fromPort), kTotal) << "first byte that differs";
    EXPECT_EQ(afterWriteTotal, kTotal);
    EXPECT_EQ(afterWriteCalls, writes);
    EXPECT_GT(waited, 0u);
    EXPECT_LT(waited, writes);
    RecordProperty("writes", static_cast<int>(writes));
}

} // namespace
} // namespace quillon::reliability
