// Queues, line errors, modem lines, break and status: driven and observed on an in-memory
// pair, which has the lines and errors a pty lacks; the flag conversions as data rows.
#include "Peer.h"
#include "Raises.h"
#include "tests/support/MainThread.h"

#include <gtest/gtest.h>
#include <utility>

namespace quillon::test {
namespace {

using namespace qwin;
using LineErrorHandler = rtl::Handler<void(TObject*, TLineErrors)>;

TEST(LineErrorFlags, EachFlagGivesItsError) {
    const std::pair<DWORD, TLineError> rows[] = {
        {0x10, leBreak},     {0x800, leDeviceNotSelected},
        {0x8, leFrame},      {0x400, leIO},
        {0x8000, leMode},    {0x1000, leOutOfPaper},
        {0x2, leOverrun},    {0x200, leDeviceTimeOut},
        {0x1, leRxOverflow}, {0x4, leParity},
        {0x100, leTxFull},
    };
    for (auto [flag, error] : rows)
        EXPECT_EQ(LineErrorsFromFlags(flag), TLineErrors{error}) << "flag 0x" << std::hex << flag;
    EXPECT_EQ(LineErrorsFromFlags(0x10 | 0x2), (TLineErrors{leBreak, leOverrun}));
    EXPECT_TRUE(LineErrorsFromFlags(0x20 | 0x40 | 0x2000 | 0x4000 | 0x10000).Empty())
        << "flags outside the table are ignored";
}

TEST(ModemStatusFlags, EachLineGivesItsValue) {
    EXPECT_EQ(ModemStatusFromFlags(0x10), TModemStatus{msCTS});
    EXPECT_EQ(ModemStatusFromFlags(0x20), TModemStatus{msDSR});
    EXPECT_EQ(ModemStatusFromFlags(0x40), TModemStatus{msRing});
    EXPECT_EQ(ModemStatusFromFlags(0x80), TModemStatus{msRLSD});
    EXPECT_EQ(ModemStatusFromFlags(MS_CTS_ON | MS_RLSD_ON), (TModemStatus{msCTS, msRLSD}));
    EXPECT_TRUE(ModemStatusFromFlags(0x0F | 0x100).Empty());
}

class LineControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port.SetDeviceName(pair.A().DeviceName());
        far = OpenEnd(pair.B());
        ASSERT_NE(far, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(far);
        // OnLineError runs an event thread; a dispatch it queued ends quietly once closed.
        port.Close();
        EXPECT_TRUE(quillon_test::AwaitThreadsGone());
    }

    // Reports collected from OnLineError.
    std::vector<TLineErrors>& Reports() {
        port.SetOnLineError(onLineError);
        return reports;
    }
    // Runs one overlapped transfer of the far end to its end.
    template <class Start> void FarAwait(Start start) {
        OVERLAPPED ov{};
        ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        DWORD done = 0;
        if (!start(ov)) {
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        }
        EXPECT_TRUE(GetOverlappedResult(far, &ov, &done, TRUE));
        CloseHandle(ov.hEvent);
    }
    // Writes from the far end straight into the port's input queue.
    void FarSend(const std::string& bytes) {
        FarAwait([&](OVERLAPPED& ov) {
            return WriteFile(far, bytes.data(), DWORD(bytes.size()), nullptr, &ov);
        });
    }

    qvirt::TPair pair = CreateTestPair();
    HANDLE far = INVALID_HANDLE_VALUE;
    TComPort port{nullptr};
    std::vector<TLineErrors> reports;
    LineErrorHandler onLineError{[this](TObject* sender, TLineErrors errors) {
        EXPECT_EQ(sender, &port);
        reports.push_back(errors);
    }};
};

TEST_F(LineControlTest, AParityErrorIsReportedOnceByTheNextQuery) {
    port.Open();
    auto& seen = Reports();
    pair.A().InjectLineError(CE_RXPARITY);
    EXPECT_EQ(port.InputCount(), 0u);
    EXPECT_EQ(seen, (std::vector<TLineErrors>{{leParity}}));
    port.InputCount();
    port.OutputCount();
    EXPECT_EQ(seen.size(), 1u) << "reported by whichever query sees it first, once";
}

TEST_F(LineControlTest, ErrorsComeTogetherAndEveryCompletionStepCollectsThem) {
    port.Open();
    auto& seen = Reports();
    pair.A().InjectLineError(CE_BREAK | CE_OVERRUN);
    port.CheckLineErrors();
    pair.A().InjectLineError(CE_FRAME);
    port.WriteAnsiString("x");
    EXPECT_EQ(seen, (std::vector<TLineErrors>{{leBreak, leOverrun}, {leFrame}}));
}

TEST_F(LineControlTest, ClearingOrCheckingWithoutAHandlerDiscardsTheFlags) {
    port.Open();
    pair.A().InjectLineError(CE_RXPARITY);
    port.CheckLineErrors();
    auto& seen = Reports();
    pair.A().InjectLineError(CE_FRAME);
    port.ClearLineErrors();
    port.InputCount();
    EXPECT_TRUE(seen.empty());
}

TEST_F(LineControlTest, AHandlerThatRaisesStopsTheQueryButTheFlagsAreGone) {
    port.Open();
    LineErrorHandler raising([](TObject*, TLineErrors) { throw rtl::Exception("line error"); });
    port.SetOnLineError(raising);
    pair.A().InjectLineError(CE_OVERRUN);
    EXPECT_THROW(port.InputCount(), rtl::Exception);
    EXPECT_NO_THROW(port.InputCount());
}

TEST_F(LineControlTest, QueueCountsAndPurges) {
    port.Open();
    FarSend("abc");
    EXPECT_EQ(port.InputCount(), 3u);
    port.ClearInput();
    EXPECT_EQ(port.InputCount(), 0u);
    FarSend("de");
    port.PurgeInput();
    EXPECT_EQ(port.InputCount(), 0u);

    port.SetXOff(); // the output is held as if XOFF had come
    port.WriteAnsiString("held");
    EXPECT_EQ(port.OutputCount(), 4u);
    EXPECT_EQ(pair.B().Queued().Input, 0u);
    port.SetXOn();
    port.Flush();
    EXPECT_EQ(port.OutputCount(), 0u);
    EXPECT_EQ(pair.B().Queued().Input, 4u);
}

TEST_F(LineControlTest, AbortingEndsTheOutstandingReadAndNothingElse) {
    port.Open();
    uint8_t buffer[4];
    port.Read(buffer, 4, false);
    ASSERT_TRUE(port.ReadPending());
    port.AbortOutput();
    EXPECT_TRUE(port.ReadPending()) << "the other direction is left alone";
    port.AbortInput();
    EXPECT_FALSE(port.ReadPending());
    port.WaitForReadCompletion();
    FarSend("ok");
    EXPECT_EQ(port.ReadAnsiString(), "ok");
}

TEST_F(LineControlTest, ModemLinesAndBreakReachTheLine) {
    port.Open();
    port.SetDTR();
    port.ClearRTS();
    EXPECT_EQ(pair.A().Lines(), (qvirt::TLineState{true, false, false}));
    port.ClearDTR();
    port.SetRTS();
    port.SetBreak();
    EXPECT_EQ(pair.A().Lines(), (qvirt::TLineState{false, true, true}));
    port.ClearBreak();
    EXPECT_FALSE(pair.A().Lines().Break);
}

TEST_F(LineControlTest, APriorityCharacterIsSent) {
    port.Open();
    port.TransmitChar('!');
    char got = 0;
    FarAwait([&](OVERLAPPED& ov) { return ReadFile(far, &got, 1, nullptr, &ov); });
    EXPECT_EQ(got, '!');
}

TEST_F(LineControlTest, ModemStatusFollowsTheFarEndsLines) {
    port.Open();
    EscapeCommFunction(far, CLRRTS);
    EscapeCommFunction(far, CLRDTR);
    EXPECT_TRUE(port.ModemStatus().Empty());
    EscapeCommFunction(far, SETRTS);
    EscapeCommFunction(far, SETDTR);
    EXPECT_EQ(port.ModemStatus(), (TModemStatus{msCTS, msDSR, msRLSD}));
    pair.A().SetRing(true);
    EXPECT_TRUE(port.ModemStatus().Contains(msRing));
}

TEST_F(LineControlTest, OnAClosedPortQueueOperationsAreSilentAndTheRestRaise) {
    port.PurgeInput();
    port.PurgeOutput();
    port.ClearInput();
    port.ClearOutput();
    port.AbortInput();
    port.AbortOutput();
    port.Flush();
    EXPECT_EQ(pair.A().Calls(), qvirt::TDriverCalls{});

    using Op = void (*)(TComPort&);
    const Op guarded[] = {
        [](TComPort& p) { p.SetDTR(); },          [](TComPort& p) { p.ClearDTR(); },
        [](TComPort& p) { p.SetRTS(); },          [](TComPort& p) { p.ClearRTS(); },
        [](TComPort& p) { p.SetXOn(); },          [](TComPort& p) { p.SetXOff(); },
        [](TComPort& p) { p.SetBreak(); },        [](TComPort& p) { p.ClearBreak(); },
        [](TComPort& p) { p.ResetDevice(); },     [](TComPort& p) { p.TransmitChar('x'); },
        [](TComPort& p) { p.CheckLineErrors(); }, [](TComPort& p) { p.ClearLineErrors(); },
        [](TComPort& p) { p.ModemStatus(); },
    };
    for (Op op : guarded)
        EXPECT_TRUE(Raises([&] { op(port); }, 0, SClosedPort));
    EXPECT_TRUE(Raises([&] { port.InputCount(); }, ERROR_INVALID_HANDLE));
    EXPECT_TRUE(Raises([&] { port.OutputCount(); }, ERROR_INVALID_HANDLE));
    port.SetDesigning(true);
    EXPECT_TRUE(port.ModemStatus().Empty());
}

TEST_F(LineControlTest, WhatTheDriverRefusesIsRaisedWithItsCode) {
    port.FlowControl().SetDTR(dcHandshake);
    port.Open();
    const std::string invalid = SysErrorMessage(ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(Raises([&] { port.SetDTR(); }, ERROR_INVALID_PARAMETER, invalid));
    EXPECT_TRUE(Raises([&] { port.ResetDevice(); }, ERROR_INVALID_PARAMETER, invalid));
    EXPECT_TRUE(port.Active());
}

} // namespace
} // namespace quillon::test
