// The request engine: the plan each COMMTIMEOUTS record gives a read or a write, and how
// requests end and report events, without a device.
#include "platform/core/LockRank.h"
#include "platform/requests/RequestEngine.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace qwin::detail {
namespace {

struct TPlanRow {
    COMMTIMEOUTS Timeouts;
    DWORD Count;
    bool AtOnce, IfAny, OneByte;
    std::optional<std::uint64_t> Total, Interval;
};

class ReadPlans : public ::testing::TestWithParam<TPlanRow> {};

TEST_P(ReadPlans, FollowTheDriversRules) {
    const auto& row = GetParam();
    const TReadPlan plan = PlanRead(row.Timeouts, row.Count);
    EXPECT_EQ(plan.ReturnAtOnce, row.AtOnce);
    EXPECT_EQ(plan.ReturnIfAny, row.IfAny);
    EXPECT_EQ(plan.OneByteEnough, row.OneByte);
    EXPECT_EQ(plan.TotalMs, row.Total);
    EXPECT_EQ(plan.IntervalMs, row.Interval);
}

constexpr std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadPlans,
    ::testing::Values(
        TPlanRow{{0, 0, 0, 0, 0}, 10, false, false, false, none, none}, // wait for all
        TPlanRow{{MAXDWORD, 0, 0, 0, 0}, 10, true, false, false, none, none},
        TPlanRow{{MAXDWORD, MAXDWORD, 500, 0, 0}, 10, false, true, true, 500, none},
        TPlanRow{{MAXDWORD, 2, 100, 0, 0}, 10, false, true, false, 120, none},
        TPlanRow{{MAXDWORD, 2, MAXDWORD, 0, 0}, 10, false, false, false, none, none},
        TPlanRow{{20, 0, 0, 0, 0}, 10, false, false, false, none, 20},
        TPlanRow{{20, 3, 7, 0, 0}, 10, false, false, false, 37, 20},
        TPlanRow{{0, MAXDWORD, MAXDWORD, 0, 0},
                 MAXDWORD,
                 false,
                 false,
                 false,
                 std::uint64_t(MAXDWORD) * MAXDWORD + MAXDWORD,
                 none}));

TEST(WritePlans, TotalIsMultiplierTimesCountPlusConstant) {
    EXPECT_EQ(PlanWrite({0, 0, 0, 0, 0}, 10), none);
    EXPECT_EQ(PlanWrite({0, 0, 0, 5, 0}, 10), 50u);
    EXPECT_EQ(PlanWrite({0, 0, 0, 5, 7}, 10), 57u);
    EXPECT_EQ(PlanWrite({0, 0, 0, 0, 7}, 0), 7u);
}

// Input and output as plain buffers: what a backend would take from or give to a line.
struct TFakeLine final : TByteMover {
    std::string Input, Output;
    DWORD Room = 1000;
    DWORD Error = 0;
    TMoved Receive(BYTE* dst, DWORD max) override {
        if (Error) return {0, Error};
        const DWORD n = std::min<DWORD>(max, DWORD(Input.size()));
        Input.copy(reinterpret_cast<char*>(dst), n);
        Input.erase(0, n);
        return {n, 0};
    }
    TMoved Send(const BYTE* src, DWORD count) override {
        const DWORD n = std::min(count, Room);
        Output.append(reinterpret_cast<const char*>(src), n);
        Room -= n;
        return {n, 0};
    }
};

struct RequestEngineTest : ::testing::Test {
    TRequestEngine Engine;
    TFakeLine Line;
    OVERLAPPED Ov{};
    char Buf[16] = {};
    DWORD Events = 0;

    TRequestPtr Read(DWORD count) {
        auto r = TRequestEngine::Make(TRequestKind::Read, &Ov, count);
        r->ReadBuffer = reinterpret_cast<BYTE*>(Buf);
        Engine.Submit(r);
        Engine.ServeReads(Line, Clock::now());
        return r;
    }
    TRequestPtr Wait() {
        auto r = TRequestEngine::Make(TRequestKind::Wait, &Ov, 0);
        r->Events = &Events;
        Engine.Submit(r);
        return r;
    }
};

// The rows a read's start decides: what is queued then and the time-outs.
struct TStartRow {
    COMMTIMEOUTS Timeouts;
    const char* Queued;
    bool EndsAtOnce;
    const char* Got;
};

class ReadStarts : public RequestEngineTest, public ::testing::WithParamInterface<TStartRow> {};

TEST_P(ReadStarts, EndOnlyWhenThePlanSays) {
    const auto& row = GetParam();
    ASSERT_TRUE(Engine.SetTimeouts(row.Timeouts));
    Line.Input = row.Queued;
    const auto r = Read(10);
    EXPECT_EQ(r->Finished, row.EndsAtOnce);
    EXPECT_EQ(std::string(Buf, r->Done), row.Got);
    EXPECT_EQ(Ov.Internal, row.EndsAtOnce ? ERROR_SUCCESS : ERROR_IO_PENDING);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadStarts,
    ::testing::Values(TStartRow{{MAXDWORD, 0, 0, 0, 0}, "", true, ""},
                      TStartRow{{MAXDWORD, 0, 0, 0, 0}, "abc", true, "abc"},
                      TStartRow{{MAXDWORD, 2, 100, 0, 0}, "abc", true, "abc"},
                      TStartRow{{MAXDWORD, 2, 100, 0, 0}, "", false, ""},
                      TStartRow{{MAXDWORD, MAXDWORD, 50, 0, 0}, "ab", true, "ab"},
                      TStartRow{{0, 0, 0, 0, 0}, "abc", false, "abc"},
                      TStartRow{{20, 0, 0, 0, 0}, "0123456789", true, "0123456789"}));

TEST_F(RequestEngineTest, ReadsEndByTheirDeadlinesAndErrors) {
    ASSERT_TRUE(Engine.SetTimeouts({20, 0, 100, 0, 0}));
    const auto start = Clock::now();
    Line.Input = "ab";
    const auto r = Read(10);
    ASSERT_FALSE(r->Finished);
    ASSERT_TRUE(Engine.NextDeadline());
    Engine.Expire(start + std::chrono::milliseconds(19));
    EXPECT_FALSE(r->Finished);
    Engine.Expire(Clock::now() + std::chrono::milliseconds(25)); // the gap after "ab"
    EXPECT_TRUE(r->Finished);
    EXPECT_EQ(std::string(Buf, r->Done), "ab");

    Line.Error = EIO;
    const auto failed = Read(4);
    EXPECT_TRUE(failed->Finished);
    EXPECT_EQ(failed->Status, DWORD(EIO));
    DWORD done = 0;
    EXPECT_FALSE(TRequestEngine::Answer(*failed, &done));
    EXPECT_EQ(GetLastError(), DWORD(EIO));
}

TEST_F(RequestEngineTest, WritesGoAsTheLineTakesThemAndDrainOnce) {
    Engine.SetMask(EV_TXEMPTY);
    Line.Room = 3;
    const char data[] = "hello";
    auto w = TRequestEngine::Make(TRequestKind::Write, &Ov, 5);
    w->WriteBuffer = reinterpret_cast<const BYTE*>(data);
    Engine.Submit(w);
    Engine.ServeWrites(Line, Clock::now());
    EXPECT_FALSE(w->Finished);
    EXPECT_EQ(Engine.Unsent(), 2u);
    Line.Room = 10;
    Engine.ServeWrites(Line, Clock::now());
    EXPECT_TRUE(w->Finished);
    EXPECT_EQ(Line.Output, "hello");
    Engine.Drained();
    Engine.Drained(); // nothing new went out
    const auto wait = Wait();
    EXPECT_TRUE(wait->Finished);
    EXPECT_EQ(Events, EV_TXEMPTY);
    EXPECT_FALSE(Wait()->Finished);
}

TEST_F(RequestEngineTest, InputIsReportedOnceAndAMaskChangeEndsTheWait) {
    Engine.SetMask(EV_RXCHAR | EV_CTS);
    EXPECT_EQ(Engine.InputEvents(3), EV_RXCHAR);
    EXPECT_EQ(Engine.InputEvents(3), 0u); // still unread: no new event
    Line.Input = "xyz";
    Read(3); // the reported bytes are taken
    EXPECT_EQ(Engine.InputEvents(0), 0u);
    Line.Input = "q";
    Read(1); // a byte nobody reported went straight to a read
    EXPECT_EQ(Engine.InputEvents(0), EV_RXCHAR);

    EXPECT_EQ(Engine.LineEvents(MS_CTS_ON | MS_RING_ON), EV_CTS); // no ring until it ends
    EXPECT_EQ(Engine.LineEvents(MS_CTS_ON), EV_RING);
    Engine.Raise(EV_CTS | EV_DSR); // EV_DSR is not asked for
    const auto kept = Wait();
    EXPECT_TRUE(kept->Finished);
    EXPECT_EQ(Events, EV_CTS);

    const auto wait = Wait();
    ASSERT_FALSE(wait->Finished);
    Engine.SetMask(EV_RXCHAR);
    EXPECT_TRUE(wait->Finished);
    EXPECT_EQ(Events, 0u);
    EXPECT_EQ(wait->Status, 0u);
}

TEST_F(RequestEngineTest, PurgeAndCloseEndEveryPendingRequest) {
    Engine.SetMask(EV_RXCHAR);
    const auto r = Read(4);
    OVERLAPPED wov{};
    auto w = TRequestEngine::Make(TRequestKind::Wait, &wov, 0);
    w->Events = &Events;
    Engine.Submit(w);
    EXPECT_EQ(Engine.Pending(&Ov), r);
    Engine.Abort(PURGE_RXABORT);
    EXPECT_EQ(r->Status, ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(w->Finished);
    Engine.EndAll(ERROR_ACCESS_DENIED);
    EXPECT_EQ(wov.Internal, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Engine.Pending(&wov), nullptr);
}

// The order devices before events is what keeps a waiter and a closing device from
// deadlocking; a debug build stops at the first breach, whichever thread makes it.
TEST(LockRank, AnEventLockHeldWhileEnteringADeviceStopsADebugBuild) {
    if (!LockRankChecked) GTEST_SKIP() << "lock ranks are checked in debug builds";
    EXPECT_EXIT(
        {
            TRankHold device(TLockRank::Device);
            TRankHold event(TLockRank::Event); // a device setting its request's event
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_DEATH(
        {
            TRankHold event(TLockRank::Event);
            TRankHold device(TLockRank::Device);
        },
        "lock order broken: a device lock taken while holding an event lock");
}

} // namespace
} // namespace qwin::detail
