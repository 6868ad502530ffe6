// Wait errors: a vanished device closes the port after OnError; any other error ends the
// thread, and the next handler change starts a new one.
#include "event_pty.h"

#include <optional>

namespace quillon::eventtest {
namespace {

using Notify = rtl::Handler<void(TObject*)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;
using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;

class EventErrorTest : public EventTest {
  protected:
    std::vector<std::string> Seen;
    std::string Message;
    bool ErrorOnMain = false;
    ComError Error{[this](TCustomComPort*, EComError& e, TComAction&) {
        Seen.push_back("error " + std::to_string(e.ErrorCode));
        Message = e.what();
        ErrorOnMain = Loop.IsMainThread();
    }};
    OpenClose BeforeClose{[this](TCustomComPort*) { Seen.push_back("before close"); }};
    OpenClose AfterClose{[this](TCustomComPort*) { Seen.push_back("after close"); }};
    Notify Rx{[](TObject*) {}};

    void Watch(TCustomComPort& port) {
        port.SetOnError(Error);
        port.SetBeforeClose(BeforeClose);
        port.SetAfterClose(AfterClose);
        port.SetOnRxChar(Rx);
    }
};

// The device goes under the waiting thread: the in-memory one unplugged (false) or the
// pty's master closed (true).
class DeviceLossTest : public EventErrorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeviceLossTest, ReportsAccessDeniedThenClosesThePort) {
    std::optional<TPty> pty; // outlives the port, as the line it carries
    TAimedPort port(GetParam() ? pty.emplace().DeviceName() : Pair.A().DeviceName());
    Watch(port);
    port.Open();
    ASSERT_EQ(rtl::TThread::RunningCount(), 1);

    GetParam() ? pty->CloseMaster() : Pair.Unplug();
    ASSERT_TRUE(RunUntil([&] { return Seen.size() == 3; }));

    EXPECT_EQ(Seen, (std::vector<std::string>{"error 5", "before close", "after close"}));
    EXPECT_EQ(Message, qwin::SysErrorMessage(qwin::ERROR_ACCESS_DENIED));
    EXPECT_TRUE(ErrorOnMain);
    EXPECT_FALSE(port.Active());
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_TRUE(Shown.empty()) << "the error reaches OnError only";
}

INSTANTIATE_TEST_SUITE_P(UnpluggedOrHungUp, DeviceLossTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "PtyHungUp" : "Unplugged"; });

TEST_F(EventErrorTest, AnOnErrorThatDestroysThePortOnDeviceLossIsSafe) {
    auto* port = new TAimedPort(Pair.A());
    int errors = 0;
    ComError destroy([&](TCustomComPort*, EComError&, TComAction&) {
        ++errors;
        delete port;
        port = nullptr;
    });
    port->SetOnError(destroy);
    port->SetOnRxChar(Rx);
    port->Open();

    Pair.Unplug();
    ASSERT_TRUE(RunUntil([&] { return port == nullptr; }));

    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(AwaitThreadsGone(Loop));
}

TEST_F(EventErrorTest, AnotherWaitErrorEndsTheThreadAndTheNextHandlerChangeStartsANewOne) {
    TAimedPort port(Pair.A());
    Watch(port);
    TPeer peer(Pair.B());
    port.Open();

    // Someone else empties the device's mask: the thread's next wait is refused.
    ASSERT_TRUE(qwin::SetCommMask(port.Handle(), 0));
    ASSERT_TRUE(RunUntil([&] { return !Seen.empty(); }));
    EXPECT_EQ(Seen, (std::vector<std::string>{"error " + std::to_string(EINVAL)}));
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_TRUE(port.Active()) << "only a vanished device closes the port";
    EXPECT_TRUE(Shown.empty());

    int rxCalls = 0;
    Notify counting([&](TObject*) {
        ++rxCalls;
        port.ReadAnsiString();
    });
    port.SetOnRxChar(counting);
    EXPECT_EQ(rtl::TThread::RunningCount(), 1);
    peer.Send("a");
    ASSERT_TRUE(RunUntil([&] { return rxCalls == 1; }));
}

TEST_F(EventErrorTest, AbortingInOnErrorEndsTheThreadSilently) {
    TAimedPort port(Pair.A());
    int errors = 0;
    ComError abort([&](TCustomComPort*, EComError&, TComAction& action) {
        ++errors;
        action = caAbort;
    });
    port.SetOnError(abort);
    port.SetOnRxChar(Rx);
    port.Open();

    Pair.Unplug();
    ASSERT_TRUE(RunUntil([&] { return !port.Active(); }));

    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(AwaitThreadsGone(Loop));
    EXPECT_TRUE(Shown.empty());
}

} // namespace
} // namespace quillon::eventtest
