#include "rtl/MainLoop.h"
#include "rtl/Timer.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(PlainLoop, RunsTasksPostedFromAnotherThreadInOrder) {
    rtl::TPlainLoop loop;
    std::vector<int> seen;
    std::thread t([&] {
        for (int i = 0; i < 100; ++i)
            loop.Post([&seen, i] { seen.push_back(i); });
    });
    t.join();
    ASSERT_TRUE(loop.RunUntil([&] { return seen.size() == 100; }));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
}

TEST(PlainLoop, ManualClockFiresTimersOnlyWhenAdvanced) {
    rtl::TPlainLoop loop;
    loop.UseManualClock();
    std::vector<long> ticks;
    auto id = loop.StartTimer(100, [&] { ticks.push_back(loop.Now().count()); });
    loop.ProcessPending();
    EXPECT_TRUE(ticks.empty());
    loop.Advance(99ms);
    EXPECT_TRUE(ticks.empty());
    loop.Advance(1ms);
    loop.Advance(250ms);
    EXPECT_EQ(ticks, (std::vector<long>{100, 200, 300}));
    loop.StopTimer(id);
    loop.Advance(1000ms);
    EXPECT_EQ(ticks.size(), 3u);
}

TEST(PlainLoop, ATickMayStopItsOwnTimer) {
    rtl::TPlainLoop loop;
    loop.UseManualClock();
    int ticks = 0;
    rtl::IMainLoop::TimerId id = 0;
    id = loop.StartTimer(10, [&] {
        ++ticks;
        loop.StopTimer(id);
    });
    loop.Advance(100ms);
    EXPECT_EQ(ticks, 1);
}

TEST(PlainLoop, RealClockTimerWakesTheLoop) {
    rtl::TPlainLoop loop;
    int ticks = 0;
    loop.StartTimer(5, [&] { ++ticks; });
    EXPECT_TRUE(loop.RunUntil([&] { return ticks >= 2; }, 5s));
}

struct Ticker {
    int ticks = 0;
    void OnTick(rtl::TObject*) { ++ticks; }
};

TEST(Timer, TicksOnlyWhileEnabledWithAHandler) {
    rtl::TPlainLoop loop;
    loop.UseManualClock();
    rtl::SetMainLoop(&loop);
    Ticker t;
    {
        rtl::TTimer timer(nullptr);
        timer.SetInterval(100);
        loop.Advance(500ms); // no handler yet: nothing runs
        timer.SetOnTimer(rtl::TNotifyEvent::Of<&Ticker::OnTick>(&t));
        loop.Advance(250ms);
        EXPECT_EQ(t.ticks, 2);
        timer.SetEnabled(false);
        loop.Advance(500ms);
        EXPECT_EQ(t.ticks, 2);
        timer.SetEnabled(true); // a full interval from now
        loop.Advance(99ms);
        EXPECT_EQ(t.ticks, 2);
        loop.Advance(1ms);
        EXPECT_EQ(t.ticks, 3);
    }
    loop.Advance(1000ms); // destroyed: stopped
    EXPECT_EQ(t.ticks, 3);
    rtl::SetMainLoop(nullptr);
}

} // namespace
