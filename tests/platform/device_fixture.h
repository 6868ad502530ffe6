#pragma once
// An open device under test and a hand on the other end of its line: the peer end of a
// virtual pair, or (pty_end.h) the master of a pty.
#include "platform/virtual/VirtualSerial.h"
#include "port_handle.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon_test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// The far side of the line, driven by the test.
class OtherEnd {
  public:
    virtual ~OtherEnd() = default;
    virtual string DeviceName() const = 0;
    /// Writes bytes into the device's input.
    virtual void Feed(const std::string& bytes) = 0;
    /// Reads n bytes of the device's output; stops short when they do not come within 5 s.
    virtual std::string Take(size_t n) = 0;
    /// Whether none of the device's output arrives within ms.
    virtual bool Quiet(int ms) = 0;

    /// Whether the far end reads and writes bytes of its own (a loopback plug does not).
    virtual bool CarriesData() const { return true; }
    /// Told the device's handle once it is open (a loopback plug drives lines through it).
    virtual void Attach(HANDLE) {}

    // The far end's hand on the line. Each returns false where this end has none.
    /// Sets the lines the device reads (MS_CTS_ON; MS_DSR_ON with MS_RLSD_ON, wired together).
    virtual bool Drive(DWORD) { return false; }
    /// Changes those lines and puts them back before the device can look at them.
    virtual bool Glitch(DWORD) { return false; }
    /// One ring: the ring indicator comes on and goes off.
    virtual bool Ring() { return false; }
    /// A line error of the device's receiver (one CE_ flag); CE_BREAK is a break sent.
    virtual bool LineError(DWORD) { return false; }
    /// Keeps the device's transmitter shifting its last byte out, or lets it finish.
    virtual bool HoldTransmitter(bool) { return false; }
    /// How often the device has looked at its line, where the far end can tell; and a
    /// wait until it has looked again, so that what comes next can only reach a device
    /// that already sleeps if something wakes it.
    virtual unsigned Looks() const { return 0; }
    virtual void AwaitLookAfter(unsigned) const {}
    /// Returns once something of the device sleeps in the driver until a line moves.
    virtual void AwaitWatched() const {}
    /// Takes the device away, as pulling an adapter does.
    virtual bool Unplug() { return false; }
};

/// A far end that is a port of its own, opened through the API, wired as a null modem:
/// its RTS is the device's CTS, its DTR the device's DSR and carrier.
class PeerEnd : public OtherEnd {
  public:
    void Feed(const std::string& bytes) override {
        DWORD done = 0;
        if (!WriteFile(Peer(), bytes.data(), DWORD(bytes.size()), &done, nullptr) ||
            done != bytes.size())
            throw std::runtime_error("feed");
    }
    std::string Take(size_t n) override {
        std::string out(n, '\0');
        DWORD done = 0;
        ReadFile(Peer(), out.data(), DWORD(n), &done, nullptr);
        out.resize(done);
        return out;
    }
    bool Drive(DWORD lines) override {
        driven_ = lines;
        return EscapeCommFunction(LineDriver(), (lines & MS_CTS_ON) ? SETRTS : CLRRTS) &&
               EscapeCommFunction(LineDriver(), (lines & MS_DSR_ON) ? SETDTR : CLRDTR);
    }
    bool Glitch(DWORD lines) override {
        const DWORD was = driven_;
        return Drive(was ^ lines) && Drive(was);
    }

  protected:
    virtual HANDLE Peer() const = 0;
    /// Whose RTS and DTR the device reads: the peer's, or its own on a loopback plug.
    virtual HANDLE LineDriver() const { return Peer(); }
    /// Reads and writes of the peer give up after 5 s.
    static void Prepare(HANDLE peer) {
        const COMMTIMEOUTS t{0, 0, 5000, 0, 5000};
        SetCommTimeouts(peer, t);
    }

  private:
    DWORD driven_ = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON; // a port opens with RTS and DTR up
};

class VirtualEnd : public PeerEnd {
  public:
    const std::string id = std::to_string(++count_);
    qvirt::TPair pair = qvirt::CreatePair("dut" + id, "peer" + id);
    Handle peer{OpenPort(pair.B().DeviceName())};

    VirtualEnd() {
        // A pty's small kernel buffer in the peer, so large writes stall as they do there.
        SetupComm(peer, 4096, 0);
        Prepare(peer);
    }
    string DeviceName() const override { return pair.A().DeviceName(); }
    bool Quiet(int) override { // bytes cross a virtual line inside the writer's call
        COMSTAT stat{};
        DWORD errors = 0;
        return ClearCommError(peer, &errors, &stat) && stat.cbInQue == 0;
    }
    bool Ring() override {
        pair.A().PulseRing();
        return true;
    }
    bool LineError(DWORD ce) override {
        pair.A().InjectLineError(ce);
        return true;
    }
    bool Unplug() override {
        pair.Unplug();
        return true;
    }

  protected:
    HANDLE Peer() const override { return peer; }

  private:
    static inline int count_ = 0;
};

/// An overlapped record with its own manual-reset event, and the memory a request fills.
struct Async {
    OVERLAPPED ov{};
    DWORD events = 0;
    char buf[64] = {};
    Async() { ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr); }
    ~Async() { CloseHandle(ov.hEvent); }
    Async(const Async&) = delete;
    Async& operator=(const Async&) = delete;
    /// Whether the request has ended, waiting up to ms.
    bool Done(DWORD ms = 0) const { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

/// Expects a failed call and its last error.
#define EXPECT_FAILS_WITH(call, code)                                                              \
    do {                                                                                           \
        EXPECT_FALSE(call);                                                                        \
        EXPECT_EQ(::qwin::GetLastError(), DWORD(code));                                            \
    } while (0)

class DeviceFixture {
  protected:
    explicit DeviceFixture(std::unique_ptr<OtherEnd> end) : other(std::move(end)) {
        other->Attach(port);
    }

    // The records outlive the handle: closing it ends what is pending, which writes into them.
    Async rd, wr, ev;
    std::unique_ptr<OtherEnd> other;
    Handle port{OpenPort(other->DeviceName())};

    void SetTimeouts(DWORD interval, DWORD mult, DWORD constant, DWORD wMult = 0,
                     DWORD wConst = 0) {
        const COMMTIMEOUTS t{interval, mult, constant, wMult, wConst};
        ASSERT_TRUE(SetCommTimeouts(port, t)) << GetLastError();
    }
    /// Starts a request that must go pending.
    void StartPendingRead(DWORD count, char* buf = nullptr) {
        EXPECT_FAILS_WITH(ReadFile(port, buf ? buf : rd.buf, count, nullptr, &rd.ov),
                          ERROR_IO_PENDING);
    }
    void StartPendingWait(DWORD mask) {
        ASSERT_TRUE(SetCommMask(port, mask));
        EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_IO_PENDING);
    }
    /// Waits for a request's end; the bytes a read brought.
    std::string Finish(Async& a, DWORD* done = nullptr) {
        DWORD n = 0;
        EXPECT_TRUE(GetOverlappedResult(port, &a.ov, &n, TRUE)) << GetLastError();
        if (done) *done = n;
        return std::string(a.buf, std::min<size_t>(n, sizeof a.buf));
    }
    /// Feeds bytes and waits until the device reports them received (its mask is left at
    /// EV_RXCHAR).
    void FeedQueued(const std::string& bytes) {
        ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
        other->Feed(bytes); // one small write: the device receives it in one piece
        if (!WaitCommEvent(port, &ev.events, &ev.ov)) {
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
            ASSERT_TRUE(ev.Done(5000));
        }
        ASSERT_EQ(Status().cbInQue, bytes.size());
    }
    COMSTAT Status(DWORD* errors = nullptr) {
        COMSTAT stat{};
        DWORD ignored = 0;
        EXPECT_TRUE(ClearCommError(port, errors ? errors : &ignored, &stat)) << GetLastError();
        return stat;
    }
    DCB State() {
        DCB dcb{};
        EXPECT_TRUE(GetCommState(port, dcb)) << GetLastError();
        return dcb;
    }
};

/// Printable bytes, so anything sent ahead of them stands out.
inline std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(32 + (i * 7 + i / 251) % 95);
    return s;
}

struct Backend {
    const char* name;
    std::unique_ptr<OtherEnd> (*make)();
    /// Behind a network: buffers between the device and the line take what a UART's
    /// driver would hold back.
    bool remote = false;
};

inline void PrintTo(const Backend& b, std::ostream* os) {
    *os << b.name;
}

inline const Backend kVirtual{"virtual", [] { return std::unique_ptr<OtherEnd>(new VirtualEnd); }};
/// The devices this system has: a pty, a virtual pair and a pty behind ser2net on Linux, a
/// virtual pair on Windows; and a real port when one is named in the environment.
const std::vector<Backend>& Devices();
/// The devices whose modem lines and receiver the test can drive: on Linux a pty behind a
/// model of a serial driver instead of a bare pty.
const std::vector<Backend>& LineDevices();

/// The contract both backends keep: one test, run on each.
class DeviceContract : public DeviceFixture, public testing::TestWithParam<Backend> {
  protected:
    DeviceContract() : DeviceFixture(GetParam().make()) {}
    void SetUp() override {
        if (!other->CarriesData()) GTEST_SKIP() << "a loopback plug has no far end of its own";
    }
};

/// A test of what only one backend shows.
template <class End> class OnlyOn : public DeviceFixture, public testing::Test {
  protected:
    OnlyOn() : DeviceFixture(std::make_unique<End>()) {}
    End& end() { return static_cast<End&>(*other); }
};

#define INSTANTIATE_ON_BOTH_DEVICES(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(Devices, suite, testing::ValuesIn(Devices()),                         \
                             [](const auto& info) { return std::string(info.param.name); })
#define INSTANTIATE_ON_LINE_DEVICES(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(Devices, suite, testing::ValuesIn(LineDevices()),                     \
                             [](const auto& info) { return std::string(info.param.name); })

} // namespace quillon_test
