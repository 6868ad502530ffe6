#include "Peer.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace quillon::test {

void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

namespace {

class TVirtualPeer : public TPeer {
  public:
    TVirtualPeer() : FPair(CreateTestPair()) {
        FHandle = OpenEnd(FPair.B());
        FEvent = qwin::CreateEvent(nullptr, qwin::TRUE, qwin::FALSE, nullptr);
        if (FHandle == qwin::INVALID_HANDLE_VALUE || !FEvent)
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

qvirt::TPair CreateTestPair() {
    static std::atomic<int> serial{0};
    const std::string stem =
        "comport-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1)) + "-";
    return qvirt::CreatePair(stem + "A", stem + "B");
}

std::unique_ptr<TPeer> MakeVirtualPeer() {
    return std::make_unique<TVirtualPeer>();
}

std::string KindName(const ::testing::TestParamInfo<TDeviceKind>& info) {
    return info.param == TDeviceKind::Pty ? "Pty" : "Virtual";
}

} // namespace quillon::test
