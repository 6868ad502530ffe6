#include "Peer.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace quillon::test {

namespace {

// Long enough for a loaded sanitizer run; only ever reached when a test is failing.
constexpr int kPatienceMs = 10000;

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

class TPtyPeer : public TPeer {
  public:
    string DeviceName() const override { return FPty.DeviceName(); }

    void Send(const Bytes& bytes) override {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::write(FPty.Master(), bytes.data() + sent, bytes.size() - sent);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) Fail("write to pty master");
            sent += static_cast<size_t>(n);
        }
    }

    Bytes Receive(size_t n) override {
        Bytes got;
        got.reserve(n);
        uint8_t chunk[4096];
        while (got.size() < n) {
            pollfd p{FPty.Master(), POLLIN, 0};
            int ready = ::poll(&p, 1, kPatienceMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) {
                ADD_FAILURE() << "pty master: " << got.size() << " of " << n << " bytes came";
                break;
            }
            ssize_t r = ::read(FPty.Master(), chunk, std::min(sizeof chunk, n - got.size()));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) Fail("read from pty master");
            got.insert(got.end(), chunk, chunk + r);
        }
        return got;
    }

    void AwaitDelivery() override {
        // The pty hands written bytes to the slave's line discipline asynchronously; the
        // slave polls readable once they are there (the port reads with VMIN 0).
        pollfd p{FPty.Slave(), POLLIN, 0};
        if (::poll(&p, 1, kPatienceMs) <= 0) ADD_FAILURE() << "bytes never reached the slave";
    }

  private:
    TPty FPty;
};

class TVirtualPeer : public TPeer {
  public:
    TVirtualPeer() : FPair(CreateTestPair()) {
        using namespace qwin;
        FHandle = CreateFile(FPair.B().DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
        FEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        if (FHandle == INVALID_HANDLE_VALUE || !FEvent)
            throw std::runtime_error("cannot open the virtual peer");
    }
    ~TVirtualPeer() override {
        qwin::CloseHandle(FHandle);
        qwin::CloseHandle(FEvent);
    }

    string DeviceName() const override { return FPair.A().DeviceName(); }

    void Send(const Bytes& bytes) override {
        qwin::DWORD done = 0;
        bool sent = Await(
            [&](qwin::OVERLAPPED& ov) {
                return qwin::WriteFile(FHandle, bytes.data(), qwin::DWORD(bytes.size()), nullptr,
                                       &ov);
            },
            bytes.size(), done);
        if (!sent) ADD_FAILURE() << "virtual peer: " << done << " of " << bytes.size() << " sent";
    }

    Bytes Receive(size_t n) override {
        Bytes got(n);
        qwin::DWORD done = 0;
        bool came = Await(
            [&](qwin::OVERLAPPED& ov) {
                return qwin::ReadFile(FHandle, got.data(), qwin::DWORD(n), nullptr, &ov);
            },
            n, done);
        if (!came) ADD_FAILURE() << "virtual peer: " << done << " of " << n << " bytes came";
        got.resize(done);
        return got;
    }

    // Bytes written at one end are in the other's input queue when the write returns.
    void AwaitDelivery() override {}

  private:
    // Runs one request of n bytes to its end, waiting a bounded time.
    template <class Start> bool Await(Start start, size_t n, qwin::DWORD& done) {
        using namespace qwin;
        OVERLAPPED ov{};
        ov.hEvent = FEvent;
        if (!start(ov) && GetLastError() != ERROR_IO_PENDING) Fail("virtual peer transfer");
        if (WaitForSingleObject(FEvent, kPatienceMs) != WAIT_OBJECT_0)
            PurgeComm(FHandle, PURGE_RXABORT | PURGE_TXABORT);
        return GetOverlappedResult(FHandle, &ov, &done, TRUE) && done == n;
    }

    qvirt::TPair FPair;
    qwin::HANDLE FHandle = qwin::INVALID_HANDLE_VALUE;
    qwin::HANDLE FEvent = 0;
};

} // namespace

TPty::TPty() {
    char name[256];
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) Fail("openpty");
    FPath = name;
}

TPty::~TPty() {
    ::close(FSlave);
    ::close(FMaster);
}

string TPty::DeviceName() const {
    return rtl::Utf8ToString(FPath);
}

qvirt::TPair CreateTestPair() {
    static std::atomic<int> serial{0};
    const std::string stem =
        "comport-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1)) + "-";
    return qvirt::CreatePair(stem + "A", stem + "B");
}

std::unique_ptr<TPeer> MakePeer(TDeviceKind kind) {
    if (kind == TDeviceKind::Pty) return std::make_unique<TPtyPeer>();
    return std::make_unique<TVirtualPeer>();
}

std::string KindName(TDeviceKind kind) {
    return kind == TDeviceKind::Pty ? "Pty" : "Virtual";
}

} // namespace quillon::test
