// The port's device arrival and removal handlers: when the port is registered and hooked,
// which messages reach which handler, and that the message goes on to other hooks.
#include "comport/ComPort.h"
#include "enum_fixture.h"
#include "platform/DeviceNotify.h"
#include "platform/PortRegistry.h"

#include <fcntl.h>
#include <sys/resource.h>

namespace {

using namespace enumtest;
using namespace quillon;
using namespace qwin;

using TNameHandler = rtl::Handler<void(rtl::TObject*, const string&)>;

/// Open inotify descriptors: the device monitor holds one exactly while registrations exist.
int MonitorDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && target.string() == "anon_inode:inotify") ++count;
    }
    return count;
}

class PortNotify : public TEnumTest {
  protected:
    bool Hooked() {
        TCustomComPort* port = &Port; // the hook is bound as the base class
        return rtl::Application().IsHooked(
            rtl::TWindowHook::Of<&TCustomComPort::DeviceChangeHook>(port));
    }
    /// Delivers a device-change message the way the monitor does.
    bool Dispatch(uintptr_t wParam, const TDeviceBroadcast& record) {
        rtl::TMessage m;
        m.Msg = WM_DEVICECHANGE;
        m.WParam = wParam;
        m.LParam = record.LParam();
        return rtl::Application().DispatchMessage(m);
    }

    TPty Pty;
    TComPort Port{nullptr};
    std::vector<std::string> Arrived, Removed;
    TNameHandler OnArrival{[this](rtl::TObject* sender, const string& name) {
        EXPECT_EQ(sender, &Port);
        Arrived.push_back(rtl::StringToUtf8(name));
    }};
    TNameHandler OnRemoval{[this](rtl::TObject* sender, const string& name) {
        EXPECT_EQ(sender, &Port);
        Removed.push_back(rtl::StringToUtf8(name));
    }};
};

TEST_F(PortNotify, RegisteredVirtualPortArrivesThenLeaves) {
    Port.SetOnDeviceArrival(OnArrival);
    Port.SetOnDeviceRemoved(OnRemoval);
    TPortRegistration board(Pty.SlavePath(), "Board");
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return !Arrived.empty(); }));
    EXPECT_EQ(Arrived, std::vector<std::string>{Pty.SlavePath()});
    board.Release();
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return !Removed.empty(); }));
    EXPECT_EQ(Removed, std::vector<std::string>{Pty.SlavePath()});
    EXPECT_EQ(Arrived.size(), 1u);
}

TEST_F(PortNotify, ArrivalsReachAnOpenPortToo) {
    TPty own;
    own.CloseSlave();
    Port.SetDeviceName(rtl::Utf8ToString(own.SlavePath()));
    Port.Open();
    Port.SetOnDeviceArrival(OnArrival);
    TPortRegistration board(Pty.SlavePath(), "Board");
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return !Arrived.empty(); }));
    EXPECT_EQ(Arrived, std::vector<std::string>{Pty.SlavePath()});
}

TEST_F(PortNotify, OnlyRemovalAssignedMeansArrivalsCallNothing) {
    Port.SetOnDeviceRemoved(OnRemoval);
    int messages = 0;
    rtl::Handler<bool(rtl::TMessage&)> counter([&](rtl::TMessage& m) {
        if (m.Msg == WM_DEVICECHANGE) ++messages;
        return false;
    });
    rtl::Application().HookMainWindow(counter);
    TPortRegistration board(Pty.SlavePath(), "Board");
    const bool arrived = rtl::PlainLoop().RunUntil([&] { return messages == 1; });
    board.Release();
    const bool removed = rtl::PlainLoop().RunUntil([&] { return !Removed.empty(); });
    rtl::Application().UnhookMainWindow(counter);
    ASSERT_TRUE(arrived && removed);
    EXPECT_EQ(Arrived, std::vector<std::string>{});
    EXPECT_EQ(Removed, std::vector<std::string>{Pty.SlavePath()});
}

TEST_F(PortNotify, RegisteredWhileEitherHandlerIsAssigned) {
    const int before = MonitorDescriptors();
    Port.SetOnDeviceArrival(OnArrival);
    EXPECT_TRUE(Hooked());
    EXPECT_EQ(MonitorDescriptors(), before + 1);
    Port.SetOnDeviceRemoved(OnRemoval);
    Port.SetOnDeviceArrival(nullptr);
    EXPECT_TRUE(Hooked());
    EXPECT_EQ(MonitorDescriptors(), before + 1);
    Port.SetOnDeviceRemoved(nullptr);
    // A second registration left behind would keep the monitor running.
    EXPECT_FALSE(Hooked());
    EXPECT_EQ(MonitorDescriptors(), before);
    EXPECT_TRUE(Port.StopDeviceNotification()); // nothing left to unregister
}

TEST_F(PortNotify, DestroyingThePortUnregisters) {
    const int before = MonitorDescriptors();
    {
        TComPort port(nullptr);
        port.SetOnDeviceArrival(OnArrival);
        EXPECT_EQ(MonitorDescriptors(), before + 1);
    }
    EXPECT_EQ(MonitorDescriptors(), before);
}

TEST_F(PortNotify, DesignedPortDoesNotRegister) {
    Port.SetDesigning(true);
    Port.SetOnDeviceArrival(OnArrival);
    EXPECT_EQ(Port.OnDeviceArrival(), OnArrival.closure());
    EXPECT_FALSE(Hooked());
}

TEST_F(PortNotify, FailedRegistrationIsSilentAndRetriedOnTheNextChange) {
    // The same calls once with descriptors to spare: the undefined-behaviour checker needs
    // a pipe the first time it checks a call on an object of a type.
    Port.SetOnDeviceArrival(OnArrival);
    Port.SetOnDeviceArrival(nullptr);
    ASSERT_TRUE(Port.StartDeviceNotification());
    ASSERT_TRUE(Port.StopDeviceNotification());
    // No descriptor can be made: the monitor cannot start.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    EXPECT_NO_THROW(Port.SetOnDeviceArrival(OnArrival));
    const bool startedWhileFailing = Port.StartDeviceNotification();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_FALSE(startedWhileFailing);
    EXPECT_FALSE(Hooked());
    EXPECT_TRUE(Port.OnDeviceArrival().Assigned());
    Port.SetOnDeviceRemoved(OnRemoval);
    EXPECT_TRUE(Hooked());
}

TEST_F(PortNotify, MessagesChooseTheirHandler) {
    Port.SetOnDeviceArrival(OnArrival);
    Port.SetOnDeviceRemoved(OnRemoval);
    const TDeviceBroadcast port(DBT_DEVTYP_PORT, u"/dev/ttyUSB0");
    const TDeviceBroadcast usb(DBT_DEVTYP_DEVICEINTERFACE, u"/dev/bus/usb/001/004",
                               GUID_DEVINTERFACE_USB_DEVICE);
    const TDeviceBroadcast volume(DBT_DEVTYP_VOLUME, u"/media/stick");
    EXPECT_FALSE(Dispatch(DBT_DEVICEARRIVAL, port));
    EXPECT_FALSE(Dispatch(DBT_DEVICEREMOVECOMPLETE, usb));
    // Queried and pending removals, and devices of other types, call nothing.
    EXPECT_FALSE(Dispatch(DBT_DEVICEQUERYREMOVE, port));
    EXPECT_FALSE(Dispatch(DBT_DEVICEREMOVEPENDING, port));
    EXPECT_FALSE(Dispatch(DBT_DEVICEARRIVAL, volume));
    EXPECT_FALSE(Dispatch(DBT_DEVICEREMOVECOMPLETE, volume));
    rtl::TMessage other;
    other.Msg = WM_DEVICECHANGE + 1;
    other.WParam = DBT_DEVICEARRIVAL;
    other.LParam = port.LParam();
    EXPECT_FALSE(Port.DeviceChangeHook(other));
    rtl::TMessage empty;
    empty.Msg = WM_DEVICECHANGE;
    empty.WParam = DBT_DEVICEARRIVAL;
    EXPECT_FALSE(Port.DeviceChangeHook(empty));

    EXPECT_EQ(Arrived, std::vector<std::string>{"/dev/ttyUSB0"});
    EXPECT_EQ(Removed, std::vector<std::string>{"/dev/bus/usb/001/004"});
}

TEST_F(PortNotify, TheMessageGoesOnToOtherHooks) {
    Port.SetOnDeviceArrival(OnArrival);
    int later = 0;
    rtl::Handler<bool(rtl::TMessage&)> other([&](rtl::TMessage& m) {
        if (m.Msg == WM_DEVICECHANGE) ++later;
        return false;
    });
    rtl::Application().HookMainWindow(other);
    TPortRegistration board(Pty.SlavePath(), "Board");
    const bool delivered = rtl::PlainLoop().RunUntil([&] { return later == 1; });
    rtl::Application().UnhookMainWindow(other);
    EXPECT_TRUE(delivered);
    EXPECT_EQ(Arrived, std::vector<std::string>{Pty.SlavePath()});
}

TEST_F(PortNotify, HandlerExceptionReachesTheApplication) {
    std::vector<std::string> shown;
    rtl::Application().SetExceptionDisplay([&](const std::string& text) { shown.push_back(text); });
    TNameHandler failing(
        [](rtl::TObject*, const string&) { throw EComError(0, "handler failed"); });
    Port.SetOnDeviceArrival(failing);
    TPortRegistration board(Pty.SlavePath(), "Board");
    const bool shownOnce = rtl::PlainLoop().RunUntil([&] { return !shown.empty(); });
    rtl::Application().SetExceptionDisplay(nullptr);
    EXPECT_TRUE(shownOnce);
    EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
    EXPECT_TRUE(Hooked());
}

} // namespace
