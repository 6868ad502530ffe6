// The monitor thread over a private registry of virtual ports: what it reports, when,
// and that it stays quiet once stopped.
#include "enum_fixture.h"
#include "platform/DeviceNotify.h"
#include "platform/PortRegistry.h"
#include "platform/linux/DeviceMonitor.h"

#include <condition_variable>
#include <mutex>

namespace {

using namespace enumtest;
using namespace qwin;

/// Collects what the monitor reports for one device path.
class TChanges {
  public:
    explicit TChanges(std::string path) : FPath(std::move(path)) {}
    detail::TDeviceMonitor::Sink Sink() {
        return [this](const TDeviceChange& change) {
            if (change.DeviceType != DBT_DEVTYP_PORT || change.Name != FPath) return;
            std::lock_guard lock(FMutex);
            FArrivals.push_back(change.Arrival);
            FChanged.notify_all();
        };
    }
    /// Waits until count changes have come; the list of arrival flags so far.
    std::vector<bool> WaitFor(size_t count) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, std::chrono::seconds(10),
                          [&] { return FArrivals.size() >= count; });
        return FArrivals;
    }

  private:
    std::string FPath;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<bool> FArrivals;
};

class DeviceMonitor : public ::testing::Test {
  protected:
    TTempDir Dir{"quillon-enum"};
    std::string RegistryDir = Dir.Path() + "/ports";
    TScopedEnv Env{"QUILLON_PORT_REGISTRY", RegistryDir};
    TPty Pty;
    TChanges Changes{Pty.SlavePath()};
    detail::TDeviceMonitor Monitor;
};

TEST_F(DeviceMonitor, PortsRegisteredBeforeTheStartAreNotArrivals) {
    TPortRegistration board(Pty.SlavePath(), "Board");
    ASSERT_TRUE(Monitor.Start(Changes.Sink(), RegistryDir));
    board.Release();
    EXPECT_EQ(Changes.WaitFor(1), std::vector<bool>{false});
}

TEST_F(DeviceMonitor, RegistrationArrivesAndReleaseRemovesInARegistryMadeAfterTheStart) {
    // ports/ does not exist yet: its parent is watched until it appears.
    ASSERT_FALSE(std::filesystem::exists(RegistryDir));
    ASSERT_TRUE(Monitor.Start(Changes.Sink(), RegistryDir));
    EXPECT_TRUE(Monitor.WatchesRegistry());
    TPortRegistration board(Pty.SlavePath(), "Board");
    EXPECT_EQ(Changes.WaitFor(1), std::vector<bool>{true});
    board.Release();
    EXPECT_EQ(Changes.WaitFor(2), (std::vector<bool>{true, false}));
}

TEST_F(DeviceMonitor, RegistryWithoutAParentIsLeftOut) {
    const std::string nowhere = Dir.Path() + "/missing/ports";
    ASSERT_TRUE(Monitor.Start(Changes.Sink(), nowhere));
    EXPECT_FALSE(Monitor.WatchesRegistry());
    EXPECT_TRUE(Monitor.Running());
}

TEST_F(DeviceMonitor, NothingIsReportedAfterStop) {
    ASSERT_TRUE(Monitor.Start(Changes.Sink(), RegistryDir));
    Monitor.Stop();
    EXPECT_FALSE(Monitor.Running());
    TPortRegistration board(Pty.SlavePath(), "Board");
    board.Release();
    // Restarted, the monitor reports the next registration, and only that one.
    TChanges again(Pty.SlavePath());
    ASSERT_TRUE(Monitor.Start(again.Sink(), RegistryDir));
    TPortRegistration next(Pty.SlavePath(), "Board");
    EXPECT_EQ(again.WaitFor(1), std::vector<bool>{true});
    Monitor.Stop();
    EXPECT_TRUE(Changes.WaitFor(0).empty());
}

} // namespace
