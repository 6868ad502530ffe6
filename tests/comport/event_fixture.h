#pragma once
// What the event-thread tests share: a main loop of their own, the application's
// exception display captured, a virtual pair (event_pty.h adds a pty pair), and a way to wait for
// event threads while still serving the main thread they may be waiting on.
#include "comport/ComPort.h"
#include "platform/virtual/VirtualSerial.h"
#include "rtl/MainLoop.h"
#include "tests/comport/Peer.h"
#include "tests/support/MainThreadTest.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillon::eventtest {

using namespace std::chrono_literals;

using quillon_test::AwaitThreadsGone;

/// The far end of a virtual pair, opened through the platform like any device.
struct TPeer {
    qwin::HANDLE Handle;

    explicit TPeer(const qvirt::TEnd& end) : Handle(test::OpenEnd(end)) {}
    ~TPeer() {
        if (Handle != qwin::INVALID_HANDLE_VALUE) qwin::CloseHandle(Handle);
    }
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    /// Sends bytes to the port and waits until the device has taken them.
    void Send(const std::string& bytes) const {
        qwin::DWORD done = 0;
        ASSERT_TRUE(qwin::WriteFile(Handle, bytes.data(), static_cast<qwin::DWORD>(bytes.size()),
                                    &done, nullptr));
        ASSERT_EQ(done, bytes.size());
    }
    /// Drives the RTS line, which the port sees as CTS.
    void SetRts(bool on) const {
        ASSERT_TRUE(qwin::EscapeCommFunction(Handle, on ? qwin::SETRTS : qwin::CLRRTS));
    }
    /// Drives the DTR line, which the port sees as DSR and carrier.
    void SetDtr(bool on) const {
        ASSERT_TRUE(qwin::EscapeCommFunction(Handle, on ? qwin::SETDTR : qwin::CLRDTR));
    }
};

/// A closed port on a device, as most of these tests make theirs.
struct TAimedPort : TComPort {
    explicit TAimedPort(const string& device) : TComPort(nullptr) { SetDeviceName(device); }
    explicit TAimedPort(const qvirt::TEnd& end) : TAimedPort(end.DeviceName()) {}
};

/// A fresh main loop, virtual pair and captured exception display per test.
class EventTest : public quillon_test::TMainThreadTest {
  protected:
    qvirt::TPair Pair;
    /// Messages the application's exception display showed.
    std::vector<std::string> Shown;

    void SetUp() override {
        TMainThreadTest::SetUp();
        rtl::Application().SetExceptionDisplay(
            [this](const std::string& m) { Shown.push_back(m); });
        static std::atomic<int> serial{0};
        const std::string id = std::to_string(getpid()) + "-" + std::to_string(++serial);
        Pair = qvirt::CreatePair("ev-a-" + id, "ev-b-" + id);
        ASSERT_EQ(rtl::TThread::RunningCount(), 0) << "a thread of an earlier test still runs";
    }

    void TearDown() override {
        TMainThreadTest::TearDown();
        rtl::Application().SetExceptionDisplay(nullptr);
    }

    /// A closed port on the pair's first end.
    void Aim(TCustomComPort& port) const { port.SetDeviceName(Pair.A().DeviceName()); }

    /// Points the port's log at a file of this test, removed first, and returns its path.
    static std::string LogTo(TCustomComPort& port) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_'); // parameterised names have slashes
        std::string path = ::testing::TempDir() + "quillon-" + name + ".log";
        std::remove(path.c_str());
        port.SetLogFile(rtl::Utf8ToString(path));
        return path;
    }

    /// The log lines that report line events, without their time stamps, in file order.
    static std::vector<std::string> EventLines(const std::string& path) {
        std::vector<std::string> out;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (line.size() < 6 || line.compare(line.size() - 6, 6, " event") != 0) continue;
            const auto start = line.rfind(' ', line.size() - 7);
            out.push_back(line.substr(start + 1));
        }
        return out;
    }
};

} // namespace quillon::eventtest
