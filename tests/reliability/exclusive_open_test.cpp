// One opener at a time, within a process and across processes, root or not: the second
// opener is refused once with the system's code, the first goes on working, and the
// second succeeds once the first has closed.
#include "../comport/PtyPort.h"
#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::reliability {
namespace {

using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

constexpr uid_t kNobody = 65534;

// Codes a child reports besides 0 (opened) and the system's code of its refusal.
constexpr int kChildInconsistent = 250; // not exactly one OnError for one exception
constexpr int kChildNoDrop = 251;       // could not become the unprivileged user

struct TOpenAttempt {
    int Errors = 0;
    int Exceptions = 0;
    int32_t Code = 0;
    std::string Message;
};

// Opens port once, counting what its failure reports.
TOpenAttempt TryOpen(TComPort& port) {
    TOpenAttempt a;
    ComError count([&](TCustomComPort*, EComError&, TComAction&) { ++a.Errors; });
    port.SetOnError(count);
    try {
        port.Open();
    } catch (const EComError& e) {
        ++a.Exceptions;
        a.Code = e.ErrorCode;
        a.Message = e.what();
    }
    port.SetOnError(nullptr);
    return a;
}

// Opens path in a child process, as root or as nobody, and returns 0 when the open
// succeeded, else the system's code of the refusal.
int OpenInChild(const std::string& path, bool unprivileged) {
    return quillon_test::RunInChild([&] {
        if (unprivileged && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) return kChildNoDrop;
        TOpenAttempt a;
        {
            // Closed before the child ends: a process that dies with the port open leaves
            // the tty's exclusive flag set for as long as another holder keeps the tty.
            TComPort port(nullptr);
            port.SetDeviceName(rtl::Utf8ToString(path));
            a = TryOpen(port);
        }
        if (a.Errors != a.Exceptions) return kChildInconsistent;
        return a.Exceptions ? a.Code : 0;
    });
}

// The first port passes a byte each way.
void ExpectWorking(TComPort& port, test::TPty& pty) {
    port.Write("a", 1, true);
    ASSERT_EQ(pty.Drain(1, std::chrono::seconds(10)), "a");
    pty.Feed("b");
    char back = 0;
    port.Read(&back, 1, true);
    EXPECT_EQ(back, 'b');
}

class ExclusiveOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        for (TComPort* port : {&first, &second}) {
            port->SetDeviceName(pty.DeviceName());
            port->Timeouts().SetReadConstant(10000); // a failing read ends with "Timeout"
        }
        // An unprivileged opener must be stopped by the exclusive open, not by permissions.
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
        first.Open();
    }
    test::TPty pty;
    TComPort first{nullptr};
    TComPort second{nullptr};
};

TEST_F(ExclusiveOpen, WithinOneProcess) {
    const TOpenAttempt a = TryOpen(second);
    EXPECT_EQ(a.Exceptions, 1);
    EXPECT_EQ(a.Errors, 1);
    EXPECT_EQ(a.Code, EBUSY);
    EXPECT_EQ(a.Message, qwin::SysErrorMessage(EBUSY));
    EXPECT_FALSE(second.Active());
    ExpectWorking(first, pty);

    first.Close();
    second.Open();
    EXPECT_TRUE(second.Active());
    ExpectWorking(second, pty);
}

TEST_F(ExclusiveOpen, FromAnotherProcessAsRootAndAsAnUnprivilegedUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to open as both users";
    for (bool unprivileged : {false, true}) {
        SCOPED_TRACE(unprivileged ? "nobody" : "root");
        EXPECT_EQ(OpenInChild(pty.SlavePath(), unprivileged), EBUSY);
        ExpectWorking(first, pty);
    }
    first.Close();
    for (bool unprivileged : {false, true}) {
        SCOPED_TRACE(unprivileged ? "nobody" : "root");
        EXPECT_EQ(OpenInChild(pty.SlavePath(), unprivileged), 0);
    }
    first.Open();
    ExpectWorking(first, pty);
}

} // namespace
} // namespace quillon::reliability
