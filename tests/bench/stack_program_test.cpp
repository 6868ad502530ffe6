// The Quillon benchmark stack driven as any harness would drive it.
#include "StackProcess.h"
#include "tests/support/FdIo.h"
#include "tests/support/PtyPair.h"

#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace quillon::bench {
namespace {

using quillon_test::TPtyPair;
using std::chrono::seconds;

TEST(StackProgram, RxCountsEveryByteThenSaysDone) {
    TPtyPair pty;
    pty.MakeRaw();
    TStackProcess stack(QUILLON_BENCH_STACK, {pty.SlavePath(), "rx", "10000"});
    ASSERT_EQ(stack.NextLine(seconds(10)), "READY");
    std::string data(10000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i);
    // Sent in uneven pieces, so the count is made over several receive events.
    for (size_t at = 0; at < data.size(); at += 777)
        pty.Feed(data.data() + at, std::min<size_t>(777, data.size() - at));
    EXPECT_EQ(stack.NextLine(seconds(10)), "DONE 10000");
    EXPECT_GT(stack.WaitExit().CpuNs, 0);
}

TEST(StackProgram, EchoReturnsEachByteBeforeSayingDone) {
    TPtyPair pty;
    pty.MakeRaw();
    TStackProcess stack(QUILLON_BENCH_STACK, {pty.SlavePath(), "echo", "300"});
    ASSERT_EQ(stack.NextLine(seconds(10)), "READY");
    for (int i = 0; i < 300; ++i) {
        const char out = static_cast<char>(i * 13);
        char back = 0;
        pty.Feed(&out, 1);
        quillon_test::ReadExactly(pty.Master(), &back, 1);
        ASSERT_EQ(back, out) << "round trip " << i;
    }
    EXPECT_EQ(stack.NextLine(seconds(10)), "DONE 300");
    EXPECT_GT(stack.WaitExit().CpuNs, 0);
}

TEST(StackProgram, NothingToCountFinishesAtOnce) {
    TPtyPair pty;
    pty.MakeRaw();
    TStackProcess stack(QUILLON_BENCH_STACK, {pty.SlavePath(), "rx", "0"});
    EXPECT_EQ(stack.NextLine(seconds(10)), "READY");
    EXPECT_EQ(stack.NextLine(seconds(10)), "DONE 0");
    EXPECT_GT(stack.WaitExit().CpuNs, 0);
}

TEST(StackProgram, IdleStaysQuietAndAsleep) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the thread sanitizer's own background thread wakes on a timer";
#endif
    TPtyPair pty;
    pty.MakeRaw();
    TStackProcess stack(QUILLON_BENCH_STACK, {pty.SlavePath(), "idle", "0"});
    ASSERT_EQ(stack.NextLine(seconds(10)), "READY");
    stack.StayQuiet(std::chrono::milliseconds(200));
    const TThreadCost before = stack.Cost();
    stack.StayQuiet(std::chrono::milliseconds(300));
    EXPECT_EQ(stack.Cost().VoluntarySwitches, before.VoluntarySwitches);
    stack.Terminate();
}

TEST(StackProgram, FailuresExitWithoutReady) {
    {
        TStackProcess stack(QUILLON_BENCH_STACK, {"/dev/quillon-no-such-tty", "rx", "1"});
        EXPECT_THROW(stack.NextLine(seconds(10)), std::runtime_error); // ends without a line
        EXPECT_EQ(stack.WaitStatus(), 1);
    }
    for (const auto& args :
         {std::vector<std::string>{"tty", "sideways", "1"},
          std::vector<std::string>{"tty", "rx", "many"}, std::vector<std::string>{"tty", "rx"}}) {
        TStackProcess stack(QUILLON_BENCH_STACK, args);
        EXPECT_EQ(stack.WaitStatus(), 2) << args[1];
    }
}

} // namespace
} // namespace quillon::bench
