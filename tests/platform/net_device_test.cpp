// What ser2net cannot show of a network port, against a fake server on a local socket: the
// server dies mid-transfer, breaks a subnegotiation, sends a storm of 0xFF, says nothing,
// refuses a setting or the option; and names that are not ports.
#include "device_fixture.h"
#include "platform/net/NetPort.h"
#include "platform/net/TelnetCodec.h"
#include "rtl/Text.h"
#include "tests/support/Ser2net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quillon_test {
namespace {

using namespace qnet;
using namespace qnet::telnet;

// Accepts one client, consents to the option and echoes every command unless told to keep
// quiet; keeps what the client sent as data.
class FakeServer {
  public:
    bool consent = true;
    std::uint32_t rateAnswer = 0; // answered to every rate change when not 0
    // Counting the rate commands from 1 (the open's query): the answer to heldRate waits
    // for the next rate command, and from silentFromRate on rates are not answered at all.
    int heldRate = 0;
    int silentFromRate = 0;

    FakeServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(listener_, reinterpret_cast<sockaddr*>(&a), len);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        listen(listener_, 1);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeServer() {
        Drop();
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    string Name() const {
        return rtl::Utf8ToString("rfc2217://127.0.0.1:" + std::to_string(port_));
    }
    void Send(const std::string& bytes) {
        std::lock_guard lock(mu_);
        ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    /// Ends the connection as a server that dies does.
    void Drop() {
        std::lock_guard lock(mu_);
        if (client_ >= 0) shutdown(client_, SHUT_RDWR);
    }
    /// The client's data once n bytes came, or what came within 5 s.
    std::string Data(size_t n) {
        std::unique_lock lock(mu_);
        cv_.wait_for(lock, std::chrono::seconds(5), [&] { return data_.size() >= n; });
        return data_;
    }

  private:
    void Serve() {
        const int c = accept(listener_, nullptr, nullptr);
        if (c < 0) return;
        {
            std::lock_guard lock(mu_);
            client_ = c;
        }
        Send(Negotiation(consent ? DO : DONT, OptionComPort));
        TTelnetDecoder decoder;
        char buf[4096];
        ssize_t n;
        while ((n = recv(c, buf, sizeof buf, 0)) > 0) {
            std::string data;
            std::vector<TTelnetItem> items;
            decoder.Feed(reinterpret_cast<const uint8_t*>(buf), size_t(n), data, items);
            for (const auto& item : items)
                if (item.Kind == TTelnetItem::TKind::Subnegotiation) Answer(item.Payload);
            std::lock_guard lock(mu_);
            data_ += data;
            cv_.notify_all();
        }
        close(c);
    }
    void Answer(const std::string& payload) {
        const auto command = TComCommand(payload[0]);
        const int rate = command == TComCommand::SetBaudRate ? ++rates_ : 0;
        if (rate && !held_.empty()) Send(std::exchange(held_, {}));
        if (rate && silentFromRate && rate >= silentFromRate) return;
        std::string value = payload.substr(1);
        if (command == TComCommand::SetBaudRate)
            value = value == BigEndian32(0) ? BigEndian32(9600)
                    : rateAnswer            ? BigEndian32(rateAnswer)
                                            : value;
        else if (value == std::string(1, '\0'))
            value = command == TComCommand::SetDataSize ? "\x08" : "\x01";
        std::string reply = ComCommand(command, value);
        reply[3] = char(uint8_t(reply[3]) + ServerCode);
        if (rate && rate == heldRate)
            held_ = reply;
        else
            Send(reply);
    }

    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mu_;
    std::condition_variable cv_;
    int client_ = -1;
    std::string data_;
    int rates_ = 0;    // the server thread's own
    std::string held_; // an answer not yet sent
};

// A port open on the fake server.
class NetDevice : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port.Valid()) << GetLastError(); }
    /// A notification from the server: the command's code and its one-byte value.
    void Notify(int code, int value) {
        server.Send(std::string{char(IAC), char(SB), char(OptionComPort), char(code), char(value),
                                char(IAC), char(SE)});
    }

    FakeServer server;
    Handle port{OpenPort(server.Name())};
    Async rd, ev;
};

TEST_F(NetDevice, DeathMidTransferEndsEveryRequestWithTheDeviceLost) {
    ASSERT_TRUE(SetCommMask(port, EV_CTS));
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_IO_PENDING);
    EXPECT_FAILS_WITH(ReadFile(port, rd.buf, 4, nullptr, &rd.ov), ERROR_IO_PENDING);
    server.Send("ab");
    server.Drop();
    ASSERT_TRUE(rd.Done(5000) && ev.Done(5000));
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &ev.ov, &done, TRUE), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &rd.ov, &done, TRUE), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(WriteFile(port, "x", 1, &done, nullptr), ERROR_ACCESS_DENIED);
}

TEST_F(NetDevice, BrokenSubnegotiationsAndAnFFStormLoseNoData) {
    const std::string overlong(TTelnetDecoder::MaxPayload + 10, 'z');
    const std::string storm(1 << 16, '\xff');
    server.Send("ab" + std::string{char(IAC), char(SB), char(OptionComPort), char(107)} + overlong +
                std::string{char(IAC), char(SE)} + "cd" +
                std::string{char(IAC), char(SB), char(OptionComPort), char(107), char(IAC), 'x'} +
                "ef" + storm + storm);
    const COMMTIMEOUTS t{0, 0, 5000, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, t));
    std::string got(6 + storm.size(), '\0');
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(port, got.data(), DWORD(got.size()), &done, nullptr));
    EXPECT_EQ(done, got.size());
    EXPECT_TRUE(got == "abcdef" + storm) << "data lost or changed around the broken items";
    DWORD modem = 1;
    EXPECT_TRUE(GetCommModemStatus(port, &modem));
    EXPECT_EQ(modem, 0u) << "a broken notification taken as one";
    // Both ways: the port's own 0xFF bytes reach the server whole.
    ASSERT_TRUE(WriteFile(port, storm.data(), DWORD(storm.size()), &done, nullptr));
    EXPECT_TRUE(server.Data(storm.size()) == storm);
}

TEST_F(NetDevice, NotificationsBecomeLinesEventsAndErrors) {
    ASSERT_TRUE(SetCommMask(port, EV_CTS | EV_RLSD | EV_ERR | EV_BREAK));
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_IO_PENDING);
    Notify(107, 0x91);
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, DWORD(EV_CTS | EV_RLSD));
    DWORD modem = 0;
    ASSERT_TRUE(GetCommModemStatus(port, &modem));
    EXPECT_EQ(modem, DWORD(MS_CTS_ON | MS_RLSD_ON));
    ResetEvent(ev.ov.hEvent);
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_IO_PENDING);
    Notify(106, 0x18);
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, DWORD(EV_ERR | EV_BREAK));
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(port, &errors, &stat));
    EXPECT_EQ(errors, DWORD(CE_FRAME | CE_BREAK));
}

TEST_F(NetDevice, RefusedOrUnansweredSettingsFailAndChangeNothing) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    DCB faster = dcb;
    faster.BaudRate = 115200;
    server.rateAnswer = 57600;
    // The refused change is undone; that answer comes only with the next change, which
    // itself is never answered: the late answer is not the next change's.
    server.heldRate = 3;
    server.silentFromRate = 4;
    EXPECT_FAILS_WITH(SetCommState(port, faster), ERROR_INVALID_PARAMETER);
    DCB now{};
    ASSERT_TRUE(GetCommState(port, now));
    EXPECT_EQ(now.BaudRate, 9600u);
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(SetCommState(port, faster), ERROR_TIMEOUT);
    EXPECT_LT(Clock::now() - start, AnswerTimeout + milliseconds(1000));
}

TEST(NetDeviceOpen, RefusalsAndNamesThatAreNoPorts) {
    FakeServer refusing;
    refusing.consent = false;
    EXPECT_EQ(OpenPort(refusing.Name()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(FreeLocalPort());
    EXPECT_EQ(OpenPort(rtl::Utf8ToString(nobody)), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ECONNREFUSED));
    for (const char* name :
         {"rfc2217://", "rfc2217://host", "rfc2217://host:0", "rfc2217://host:70000",
          "rfc2217://::1:80", "rfc2217://[::1]", "rfc2217://no-such-host.invalid:2217"}) {
        EXPECT_EQ(OpenPort(rtl::Utf8ToString(name)), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << name;
    }
}

} // namespace
} // namespace quillon_test
