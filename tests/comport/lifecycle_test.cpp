// Opening, closing and destroying a port on a real pty, and the routines every error of
// the component goes through.
#include "PtyPort.h"
#include "Raises.h"
#include "comport/ComThread.h"
#include "rtl/MainLoop.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MainThread.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillon::test {
namespace {

using namespace qwin;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;
using ErrorHandler = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

class LifecycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port.SetDeviceName(pty.DeviceName());
        port.SetBeforeOpen(beforeOpen);
        port.SetAfterOpen(afterOpen);
        port.SetBeforeClose(beforeClose);
        port.SetAfterClose(afterClose);
    }

    OpenClose Record(std::string name) {
        return OpenClose([this, name](TCustomComPort* sender) {
            EXPECT_EQ(sender, &port);
            calls.push_back(name);
        });
    }

    TPty pty;
    std::vector<std::string> calls;
    OpenClose beforeOpen = Record("BeforeOpen"), afterOpen = Record("AfterOpen");
    OpenClose beforeClose = Record("BeforeClose"), afterClose = Record("AfterClose");
    TComPort port{nullptr};
};

using Calls = std::vector<std::string>;

TEST_F(LifecycleTest, OpensAndClosesAPty) {
    port.Open();
    EXPECT_TRUE(port.Active());
    EXPECT_NE(port.Handle(), INVALID_HANDLE_VALUE);
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "the device was really opened and set raw";
    EXPECT_EQ(calls, (Calls{"BeforeOpen", "AfterOpen"}));

    port.Close();
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(calls, (Calls{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));

    port.Open(); // released for good: it opens again
    EXPECT_TRUE(port.Active());
}

TEST_F(LifecycleTest, OpenWhenOpenAndCloseWhenClosedDoNothing) {
    port.Close();
    port.SetActive(false);
    EXPECT_TRUE(calls.empty());
    port.SetActive(true);
    port.Open();
    port.SetActive(true);
    EXPECT_EQ(calls, (Calls{"BeforeOpen", "AfterOpen"}));
    port.SetActive(false);
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(calls.size(), 4u);
}

TEST_F(LifecycleTest, ASecondOpenerOfTheSameDeviceIsRefused) {
    port.Open();
    TComPort second(nullptr);
    second.SetDeviceName(pty.DeviceName());
    EXPECT_TRUE(Raises([&] { second.Open(); }, EBUSY, SysErrorMessage(EBUSY)))
        << "two ports hold one device";
    EXPECT_FALSE(second.Active());
    EXPECT_TRUE(port.Active());
    port.Close();
    second.Open();
    EXPECT_TRUE(second.Active());
}

TEST_F(LifecycleTest, AMissingDeviceRaisesTheSystemsCodeAndText) {
    port.SetDeviceName(u"/dev/quillon-no-such-tty");
    EXPECT_TRUE(Raises([&] { port.SetActive(true); }, 2, "No such file or directory"));
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(calls, (Calls{"BeforeOpen"}));
}

TEST_F(LifecycleTest, TheDevicePrefixIsAcceptedAndStrippedForDialogs) {
    port.SetDeviceName(u"\\\\.\\" + pty.DeviceName());
    EXPECT_EQ(port.PlainDeviceName(), pty.DeviceName());
    port.Open();
    EXPECT_TRUE(port.Active());
    port.Close();
    port.SetDeviceName(u"\\\\.\\COM12");
    EXPECT_EQ(port.PlainDeviceName(), u"COM12");
    port.SetDeviceName(u"COM3");
    EXPECT_EQ(port.PlainDeviceName(), u"COM3");
}

TEST_F(LifecycleTest, AbortActionTurnsEveryErrorIntoTheSilentAbort) {
    std::vector<int32_t> codes;
    ErrorHandler onError([&](TCustomComPort* sender, EComError& e, TComAction& action) {
        EXPECT_EQ(sender, &port);
        EXPECT_EQ(action, caFail);
        codes.push_back(e.ErrorCode);
        action = caAbort;
    });
    port.SetOnError(onError);
    EXPECT_THROW(port.SetDTR(), rtl::EAbort);
    port.SetDeviceName(u"/dev/quillon-no-such-tty");
    EXPECT_THROW(port.Open(), rtl::EAbort);
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(calls, (Calls{"BeforeOpen"}));
}

TEST_F(LifecycleTest, AnErrorHandlerThatLeavesFailGetsTheErrorRaised) {
    int seen = 0;
    ErrorHandler onError([&](TCustomComPort*, EComError& e, TComAction&) {
        EXPECT_STREQ(e.what(), SClosedPort);
        ++seen;
    });
    port.SetOnError(onError);
    EXPECT_THROW(port.ClearBreak(), EComError);
    EXPECT_EQ(seen, 1);
}

TEST_F(LifecycleTest, NameAndPriorityChangeOnlyWhileClosed) {
    port.Open();
    const string name = port.DeviceName();
    EXPECT_TRUE(Raises([&] { port.SetDeviceName(u"/dev/ttyS0"); }, 0, SOpenPort));
    EXPECT_EQ(port.DeviceName(), name);
    port.SetDeviceName(name); // the same text is no change
    EXPECT_THROW(port.SetPriorityClass(pcIdle), EComError);
    EXPECT_EQ(port.PriorityClass(), pcDefault);
    port.SetPriorityClass(pcDefault);
    port.Close();
    port.SetPriorityClass(pcIdle);
    EXPECT_EQ(port.PriorityClass(), pcIdle);
}

TEST_F(LifecycleTest, PriorityClassHoldsExactlyWhileOpen) {
    if (geteuid() != 0) GTEST_SKIP() << "raising the process priority needs privileges";
    const DWORD before = GetPriorityClass(GetCurrentProcess());
    ASSERT_NE(before, HIGH_PRIORITY_CLASS);
    port.SetPriorityClass(pcHigh);
    port.Open();
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), HIGH_PRIORITY_CLASS);
    port.Close();
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), before);

    port.SetDeviceName(u"/dev/quillon-no-such-tty");
    EXPECT_THROW(port.Open(), EComError);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), before) << "restored after a failed open";
}

// A class is coarser than a nice level: each thread gets back exactly the level it had.
class PriorityRestoreTest : public LifecycleTest, public ::testing::WithParamInterface<int> {};

TEST_P(PriorityRestoreTest, CloseGivesEachThreadItsOwnNiceLevelBack) {
    if (geteuid() != 0) GTEST_SKIP() << "going back from idle needs privileges";
    const int start = GetParam();
    // In a copy of the test program: its levels must not outlive the test.
    const int result = quillon_test::RunInChild([&]() -> int {
        if (setpriority(PRIO_PROCESS, 0, start) != 0) return 10;
        std::mutex mu;
        std::condition_variable cv;
        pid_t tid = 0;
        bool done = false;
        std::thread other([&] {
            setpriority(PRIO_PROCESS, 0, start + 3);
            std::unique_lock lock(mu);
            tid = static_cast<pid_t>(syscall(SYS_gettid));
            cv.notify_all();
            cv.wait(lock, [&] { return done; });
        });
        std::unique_lock lock(mu);
        cv.wait(lock, [&] { return tid != 0; });
        port.SetPriorityClass(pcIdle);
        port.Open();
        const int opened = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        port.Close();
        int code = 0;
        if (opened != 19)
            code = 1;
        else if (getpriority(PRIO_PROCESS, 0) != start)
            code = 2;
        else if (getpriority(PRIO_PROCESS, static_cast<id_t>(tid)) != start + 3)
            code = 3;
        done = true;
        cv.notify_all();
        lock.unlock();
        other.join();
        return code;
    });
    EXPECT_EQ(result, 0) << "1: not idle while open, 2: main thread, 3: other thread";
}

INSTANTIATE_TEST_SUITE_P(StartingNice, PriorityRestoreTest, ::testing::Values(5, 10));

TEST_F(LifecycleTest, ARateThePtyRefusesRaisesAndStaysTheSetting) {
    port.SetBaudRate(br9600);
    port.Open();
    port.SetCustomBaudRate(31250);
    // No line runs at 0 bits per second.
    EXPECT_TRUE(Raises([&] { port.SetCustomBaudRate(0); }, EINVAL, SysErrorMessage(EINVAL)));
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 0);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port.Handle(), dcb));
    EXPECT_EQ(dcb.BaudRate, 31250u) << "the device keeps its previous rate";
    EXPECT_THROW(port.SetParity(paNone), EComError) << "every later push fails again";
    port.Close();
    EXPECT_THROW(port.Open(), EComError);
    EXPECT_FALSE(port.Active());
}

// A device layer that fails without saying why.
class TSilentFailurePort : public TComPort {
  public:
    using TComPort::TComPort;

  protected:
    void CreateHandle() override { SetLastError(0); }
};

TEST_F(LifecycleTest, AnOpenThatLeavesThePortClosedNeverLooksLikeSuccess) {
    TSilentFailurePort silent(nullptr);
    silent.SetAfterOpen(afterOpen);
    EXPECT_TRUE(Raises([&] { silent.Open(); }, 0, "Can't open the port"))
        << "a port that did not open must not report success";
    EXPECT_FALSE(silent.Active());
    EXPECT_TRUE(calls.empty());
}

TEST_F(LifecycleTest, CheckResultIgnoresNoCodeAndPendingAndClearsWhatItRaises) {
    SetLastError(0);
    port.CheckResult(false);
    SetLastError(ERROR_IO_PENDING);
    port.CheckResult(false);
    SetLastError(ENOENT);
    port.CheckResult(true);
    EXPECT_TRUE(Raises([&] { port.CheckResult(false); }, ENOENT, SysErrorMessage(ENOENT)));
    EXPECT_EQ(GetLastError(), 0u);
}

// A sibling that looks at the port while it is being removed.
class TWatcher : public TComponent {
  public:
    using TComponent::TComponent;
    void Notification(TComponent* AComponent, rtl::TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (auto* p = dynamic_cast<TCustomComPort*>(AComponent); p && Operation == rtl::opRemove) {
            sawActive = p->Active();
            sawName = p->DeviceName();
        }
    }
    bool sawActive = false;
    string sawName;
};

TEST_F(LifecycleTest, DestroyingAnOpenPortTellsItsSiblingsFirstThenCloses) {
    TComponent owner(nullptr);
    auto* watcher = new TWatcher(&owner);
    auto* owned = new TComPort(&owner);
    int closed = 0;
    OpenClose onClosed([&](TCustomComPort*) { ++closed; });
    owned->SetDeviceName(pty.DeviceName());
    owned->SetAfterClose(onClosed);
    owned->Open();
    delete owned;
    EXPECT_TRUE(watcher->sawActive) << "siblings hear of it while the port is whole";
    EXPECT_EQ(watcher->sawName, pty.DeviceName());
    EXPECT_EQ(closed, 1);
    port.Open(); // the device was released
    EXPECT_TRUE(port.Active());
}

TEST_F(LifecycleTest, CloseOnTheEventThreadRunsOnTheMainThread) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id handlerThread, closedOn;
    bool closeReturned = false, closedBeforeReturn = false;
    OpenClose onClosed([&](TCustomComPort*) { closedOn = std::this_thread::get_id(); });
    rtl::Handler<void(TObject*)> onRxChar([&](TObject*) {
        handlerThread = std::this_thread::get_id();
        port.Close();
        closedBeforeReturn = closedOn == mainThread;
        closeReturned = true;
    });
    port.SetAfterClose(onClosed);
    port.SetSynchronizeEvents(false);
    port.SetOnRxChar(onRxChar);
    port.Open();
    pty.Feed("x");
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return !port.Active(); }));
    // The handler's Close returned only after the main thread had run it.
    ASSERT_TRUE(quillon_test::AwaitThreadsGone());
    EXPECT_NE(handlerThread, mainThread);
    EXPECT_EQ(closedOn, mainThread);
    EXPECT_TRUE(closeReturned);
    EXPECT_TRUE(closedBeforeReturn);
}

} // namespace
} // namespace quillon::test
