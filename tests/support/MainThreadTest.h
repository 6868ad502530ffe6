#pragma once
// Fixtures that make the test's thread the components' main thread.
#include "MainThread.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>

namespace quillon_test {

/// A loop of the test's own, bound to its thread and installed as the main loop; no
/// thread may outlive the test.
class TMainThreadTest : public ::testing::Test {
  protected:
    rtl::TPlainLoop Loop;

    void SetUp() override {
        Loop.BindToCurrentThread();
        rtl::SetMainLoop(&Loop);
    }
    void TearDown() override {
        EXPECT_TRUE(AwaitThreadsGone(Loop)) << "an event thread outlived its test";
        Loop.ProcessPending();
        rtl::SetMainLoop(nullptr);
    }

    /// Runs the loop until pred holds (it is made true by work the loop runs).
    bool RunUntil(const std::function<bool()>& pred) {
        return Loop.RunUntil(pred, std::chrono::seconds(10));
    }
};

/// Binds the program's plain loop to the main thread before the first test.
class TMainThreadEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { rtl::PlainLoop().BindToCurrentThread(); }
};

} // namespace quillon_test
