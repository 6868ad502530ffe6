// Device-change messages on the application's window: registration, delivery on the main
// thread, the records they carry, and what happens to changes after the last registration.
#include "enum_fixture.h"
#include "platform/DeviceNotify.h"
#include "platform/PortRegistry.h"
#include "rtl/Application.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

using namespace enumtest;
using namespace qwin;

DEV_BROADCAST_DEVICEINTERFACE UsbFilter() {
    DEV_BROADCAST_DEVICEINTERFACE filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    return filter;
}

struct TSeen {
    uintptr_t WParam;
    DWORD DeviceType;
    std::string Name;
};

/// A hook on the application's window that keeps every device-change message.
class TRecordingHook {
  public:
    TRecordingHook() { rtl::Application().HookMainWindow(FHook); }
    ~TRecordingHook() { rtl::Application().UnhookMainWindow(FHook); }
    std::vector<TSeen> Seen;
    bool OnMainThread = true;

  private:
    rtl::Handler<bool(rtl::TMessage&)> FHandler{[this](rtl::TMessage& m) {
        if (m.Msg != WM_DEVICECHANGE) return false;
        OnMainThread = OnMainThread && rtl::MainLoop().IsMainThread();
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(m.LParam);
        Seen.push_back(
            {m.WParam, header->dbch_devicetype, rtl::StringToUtf8(BroadcastName(*header))});
        return false;
    }};
    rtl::TWindowHook FHook = FHandler;
};

class DeviceNotify : public TEnumTest {
  protected:
    /// Registers the window for USB device interfaces.
    static HDEVNOTIFY RegisterUsb() {
        const auto filter = UsbFilter();
        return RegisterDeviceNotification(1, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    TPty Pty;
    TRecordingHook Hook;
};

TEST_F(DeviceNotify, BadRegistrationsAreRefused) {
    const auto filter = UsbFilter();
    auto portFilter = filter;
    portFilter.dbcc_devicetype = DBT_DEVTYP_PORT;
    auto shortFilter = filter;
    shortFilter.dbcc_size = 28;
    const std::pair<HWND, const void*> targets[] = {
        {0, &filter}, {1, nullptr}, {1, &portFilter}, {1, &shortFilter}};
    for (auto [window, f] : targets) {
        SetLastError(0);
        EXPECT_EQ(RegisterDeviceNotification(window, f, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    SetLastError(0);
    EXPECT_EQ(RegisterDeviceNotification(1, &filter, 4 /* DEVICE_NOTIFY_ALL_INTERFACE_CLASSES */),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(DeviceNotify, UnknownRegistrationCannotBeUnregistered) {
    SetLastError(0);
    EXPECT_FALSE(UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(uintptr_t(0x5eed))));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    HDEVNOTIFY h = RegisterUsb();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(UnregisterDeviceNotification(h));
    EXPECT_FALSE(UnregisterDeviceNotification(h));
}

TEST_F(DeviceNotify, RegisteredPortArrivesAndLeavesOnTheMainThread) {
    HDEVNOTIFY h = RegisterUsb();
    ASSERT_NE(h, nullptr);
    TPortRegistration board(Pty.SlavePath(), "Board");
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return Hook.Seen.size() == 1; }));
    board.Release();
    ASSERT_TRUE(rtl::PlainLoop().RunUntil([&] { return Hook.Seen.size() == 2; }));
    EXPECT_TRUE(UnregisterDeviceNotification(h));

    EXPECT_EQ(Hook.Seen[0].WParam, DBT_DEVICEARRIVAL);
    EXPECT_EQ(Hook.Seen[0].DeviceType, DBT_DEVTYP_PORT);
    EXPECT_EQ(Hook.Seen[0].Name, Pty.SlavePath());
    EXPECT_EQ(Hook.Seen[1].WParam, DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(Hook.Seen[1].Name, Pty.SlavePath());
    EXPECT_TRUE(Hook.OnMainThread);
}

/// A main loop that only queues, so a test decides when posted work runs.
class TQueueLoop : public rtl::IMainLoop {
  public:
    void Post(Task fn) override {
        std::lock_guard lock(FMutex);
        FTasks.push_back(std::move(fn));
        FPosted.notify_all();
    }
    bool IsMainThread() const override { return true; }
    TimerId StartTimer(int, Task) override { return 0; }
    void StopTimer(TimerId) override {}
    bool WaitForTask() {
        std::unique_lock lock(FMutex);
        return FPosted.wait_for(lock, std::chrono::seconds(10), [&] { return !FTasks.empty(); });
    }
    void RunAll() {
        std::deque<Task> tasks;
        {
            std::lock_guard lock(FMutex);
            tasks.swap(FTasks);
        }
        for (auto& t : tasks)
            t();
    }

  private:
    std::mutex FMutex;
    std::condition_variable FPosted;
    std::deque<Task> FTasks;
};

TEST_F(DeviceNotify, ChangesNotDeliveredBeforeTheLastUnregistrationAreDropped) {
    TQueueLoop loop;
    rtl::SetMainLoop(&loop);
    HDEVNOTIFY h = RegisterUsb();
    ASSERT_NE(h, nullptr);
    TPortRegistration board(Pty.SlavePath(), "Board");
    const bool posted = loop.WaitForTask();
    EXPECT_TRUE(UnregisterDeviceNotification(h));
    loop.RunAll();
    rtl::SetMainLoop(nullptr);
    EXPECT_TRUE(posted);
    EXPECT_TRUE(Hook.Seen.empty());
}

TEST_F(DeviceNotify, ExceptionFromAHookGoesToTheApplication) {
    std::vector<std::string> shown;
    rtl::Application().SetExceptionDisplay([&](const std::string& text) { shown.push_back(text); });
    rtl::Handler<bool(rtl::TMessage&)> thrower([](rtl::TMessage& m) -> bool {
        if (m.Msg == WM_DEVICECHANGE) throw rtl::Exception("hook failed");
        return false;
    });
    rtl::Application().HookMainWindow(thrower);
    HDEVNOTIFY h = RegisterUsb();
    TPortRegistration board(Pty.SlavePath(), "Board");
    EXPECT_TRUE(rtl::PlainLoop().RunUntil([&] { return !shown.empty(); }));
    UnregisterDeviceNotification(h);
    rtl::Application().UnhookMainWindow(thrower);
    rtl::Application().SetExceptionDisplay(nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{"hook failed"});
}

TEST(DeviceBroadcast, RecordsHoldTheirNameAfterTheHeader) {
    const TDeviceBroadcast port(DBT_DEVTYP_PORT, u"/dev/ttyUSB0");
    EXPECT_EQ(port.Header()->dbch_devicetype, DBT_DEVTYP_PORT);
    EXPECT_EQ(port.Header()->dbch_size, 12u + 13u * 2u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const DEV_BROADCAST_PORT*>(port.Header())->dbcp_name),
              u"/dev/ttyUSB0");

    const TDeviceBroadcast usb(DBT_DEVTYP_DEVICEINTERFACE, u"/dev/bus/usb/001/004",
                               GUID_DEVINTERFACE_USB_DEVICE);
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(usb.Header());
    EXPECT_EQ(record->dbcc_size, 28u + 21u * 2u);
    EXPECT_TRUE(record->dbcc_classguid == GUID_DEVINTERFACE_USB_DEVICE);
    EXPECT_EQ(BroadcastName(*usb.Header()), u"/dev/bus/usb/001/004");
}

TEST(DeviceBroadcast, NameIsReadNoFurtherThanTheRecordsSize) {
    TDeviceBroadcast port(DBT_DEVTYP_PORT, u"/dev/ttyUSB0");
    auto* header = const_cast<DEV_BROADCAST_HDR*>(port.Header());
    header->dbch_size = 12 + 4 * 2;
    EXPECT_EQ(BroadcastName(*header), u"/dev");
    header->dbch_size = 12;
    EXPECT_EQ(BroadcastName(*header), u"");
    const DEV_BROADCAST_HDR volume{sizeof(DEV_BROADCAST_HDR) + 8, DBT_DEVTYP_VOLUME, 0};
    EXPECT_EQ(BroadcastName(volume), u"");
}

} // namespace
