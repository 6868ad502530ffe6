// The runtime's main loop on Qt: posted work from other threads, exceptions at the loop's
// edge, timers on the manual clock, and modal boxes that keep everything running.
#include "ConsoleTestSupport.h"
#include "rtl/Application.h"
#include "rtl/Thread.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace quillon::console::testing {
namespace {

using namespace std::chrono_literals;

class MainLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Loop().SetManualClock(true);
        rtl::Application().SetExceptionDisplay(
            [this](const std::string& m) { shown.push_back(m); });
    }
    void TearDown() override {
        for (auto id : started)
            Loop().StopTimer(id);
        Loop().SetManualClock(true);
        rtl::Application().SetExceptionDisplay(nullptr);
    }
    rtl::IMainLoop::TimerId Start(int ms, std::function<void()> tick) {
        started.push_back(Loop().StartTimer(ms, std::move(tick)));
        return started.back();
    }
    std::vector<std::string> shown;
    std::vector<rtl::IMainLoop::TimerId> started;
};

TEST_F(MainLoopTest, WorkPostedFromAnotherThreadRunsOnTheGuiThread) {
    std::atomic<bool> ranOnMain{false}, done{false};
    std::thread t([&] {
        EXPECT_FALSE(Loop().IsMainThread());
        Loop().Post([&] {
            ranOnMain = Loop().IsMainThread();
            done = true;
        });
    });
    t.join();
    ASSERT_TRUE(WaitFor([&] { return done.load(); }));
    EXPECT_TRUE(ranOnMain);
}

TEST_F(MainLoopTest, ExceptionOfPostedWorkIsShownAndTheSilentAbortIsNot) {
    Loop().Post([] { throw rtl::Exception("posted failure"); });
    Loop().Post([] { rtl::Abort(); });
    bool after = false;
    Loop().Post([&] { after = true; });
    ASSERT_TRUE(WaitFor([&] { return after; }));
    EXPECT_EQ(shown, std::vector<std::string>{"posted failure"});
}

TEST_F(MainLoopTest, ManualClockFiresTimersInTimeOrder) {
    std::vector<std::string> ticks;
    Start(30, [&] { ticks.push_back("30@" + std::to_string(Loop().Now().count())); });
    Start(20, [&] { ticks.push_back("20@" + std::to_string(Loop().Now().count())); });
    const auto t0 = Loop().Now().count();
    Loop().Advance(60ms);
    std::vector<std::string> expected;
    for (auto [name, at] : std::vector<std::pair<std::string, int>>{
             {"20", 20}, {"30", 30}, {"20", 40}, {"20", 60}, {"30", 60}})
        expected.push_back(name + "@" + std::to_string(t0 + at));
    // Equal due times go by id: the 30 ms timer was started first.
    std::swap(expected[3], expected[4]);
    EXPECT_EQ(ticks, expected);
}

TEST_F(MainLoopTest, TickMayStopItsOwnTimer) {
    int ticks = 0;
    rtl::IMainLoop::TimerId id = 0;
    id = Start(10, [&] {
        if (++ticks == 2) Loop().StopTimer(id);
    });
    Loop().Advance(100ms);
    EXPECT_EQ(ticks, 2);
}

TEST_F(MainLoopTest, NestedAdvanceNeverTurnsTheClockBack) {
    int outer = 0;
    Start(10, [&] {
        if (++outer == 1) Loop().Advance(100ms);
    });
    const auto t0 = Loop().Now();
    Loop().Advance(10ms);
    EXPECT_EQ(Loop().Now(), t0 + 110ms);
}

TEST_F(MainLoopTest, ModalBoxKeepsDeliveringTicksAndSynchronizedWork) {
    Loop().SetManualClock(false);
    QMessageBox box(QMessageBox::Information, "Quillon", "modal");
    int ticks = 0;
    std::atomic<bool> synchronized{false};
    std::thread worker;
    // Inside the box's own loop: a thread hands work to the GUI thread and waits for it,
    // and a timer ticks until both have been seen, then closes the box.
    QTimer::singleShot(0, &box, [&] {
        worker = std::thread([&] { rtl::TThread::Synchronize([&] { synchronized = true; }); });
    });
    Start(5, [&] {
        if (++ticks >= 3 && synchronized) box.done(QMessageBox::Ok);
    });
    box.exec();
    worker.join();
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(synchronized);
}

} // namespace
} // namespace quillon::console::testing
