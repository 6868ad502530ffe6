#include "rtl/MainLoop.h"
#include "rtl/Thread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class Worker : public rtl::TThread {
  public:
    explicit Worker(std::function<void()> body, bool selfFree = false)
        : TThread(false), body_(std::move(body)) {
        SetFreeOnTerminate(selfFree);
        Start();
    }

  protected:
    void Execute() override { body_(); }

  private:
    std::function<void()> body_;
};

struct LoopFixture : ::testing::Test {
    rtl::TPlainLoop loop;
    void SetUp() override {
        loop.BindToCurrentThread();
        rtl::SetMainLoop(&loop);
    }
    void TearDown() override { rtl::SetMainLoop(nullptr); }
};

TEST_F(LoopFixture, SynchronizeRunsOnTheMainThreadAndWaits) {
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> returned{false};
    Worker w([&] {
        rtl::TThread::Synchronize([&] { ranOnMain = loop.IsMainThread(); });
        returned = true;
        loop.Wake();
    });
    ASSERT_TRUE(loop.RunUntil([&] { return returned.load(); }));
    w.WaitFor();
    EXPECT_TRUE(ranOnMain);
}

TEST_F(LoopFixture, SynchronizeRaisesTheFunctionsExceptionInTheCaller) {
    std::string caught;
    std::atomic<bool> done{false};
    Worker w([&] {
        try {
            rtl::TThread::Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
        loop.Wake();
    });
    ASSERT_TRUE(loop.RunUntil([&] { return done.load(); }));
    w.WaitFor();
    EXPECT_EQ(caught, "boom");
}

TEST_F(LoopFixture, SynchronizeOnTheMainThreadRunsInline) {
    int calls = 0;
    rtl::TThread::Synchronize([&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST_F(LoopFixture, FreeOnTerminateThreadsAreCountedUntilGone) {
    std::atomic<bool> release{false};
    int before = rtl::TThread::RunningCount();
    new Worker([&] { release.wait(false); }, true);
    EXPECT_EQ(rtl::TThread::RunningCount(), before + 1);
    release = true;
    release.notify_all();
    EXPECT_TRUE(rtl::TThread::WaitForAll(5000));
}

class Waiter : public rtl::TThread {
  public:
    std::atomic<bool> go{false};
    std::atomic<bool> sawTerminated{false};
    Waiter() : TThread(true) {}

  protected:
    void Execute() override {
        go.wait(false);
        sawTerminated = Terminated();
    }
};

TEST_F(LoopFixture, TerminateIsSeenByTheThreadAndWaitForJoins) {
    Waiter w;
    w.Start();
    w.Terminate();
    w.go = true;
    w.go.notify_all();
    w.WaitFor();
    EXPECT_TRUE(w.Finished());
    EXPECT_TRUE(w.sawTerminated);
}

} // namespace
