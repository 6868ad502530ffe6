// Modem-line signals: on exactly while the port is open and the line is up, read again at
// every change of the line, at open, at close and when bound; no timer involved.
#include "signal_fixture.h"

namespace quillon::signaltest {
namespace {

struct LineRow {
    TSignal Signal;
    const char* Name;
    void (TPeer::*Drive)(bool on) const; // the far end's output that feeds the line
    void (*AssignApp)(TCustomComPort& port, TNotifyEvent handler);
};

void PrintTo(const LineRow& row, std::ostream* os) {
    *os << row.Name;
}

class ModemLineTest : public SignalTest, public ::testing::WithParamInterface<LineRow> {};

TEST_P(ModemLineTest, FollowsItsLineAndKeepsTheApplicationsHandler) {
    const LineRow& row = GetParam();
    auto* lamp = new TControl(Form.get());
    int appCalls = 0;
    TObject* appSender = nullptr;
    Notify app([&](TObject* s) {
        ++appCalls;
        appSender = s;
    });
    row.AssignApp(*Port, app);
    Port->Open();
    TComSignal* line = Indicator(row.Signal, lamp);

    EXPECT_TRUE(line->SignalValue()) << "the far end is open with its lines up";
    EXPECT_EQ(lamp->Color(), rtl::clLime);
    Advance(1000ms);
    EXPECT_TRUE(line->SignalValue()) << "no timer switches a line off";

    (Far.get()->*row.Drive)(false);
    ASSERT_TRUE(RunUntil([&] { return !line->SignalValue(); }));
    EXPECT_EQ(lamp->Color(), rtl::clGreen);
    (Far.get()->*row.Drive)(true);
    ASSERT_TRUE(RunUntil([&] { return line->SignalValue(); }));
    EXPECT_EQ(appCalls, 2);
    EXPECT_EQ(appSender, Port);

    Port->Close();
    EXPECT_FALSE(line->SignalValue());
    Port->Open();
    EXPECT_TRUE(line->SignalValue());
}

INSTANTIATE_TEST_SUITE_P(
    EveryLineOfThePair, ModemLineTest,
    ::testing::Values(LineRow{siCTS, "CTS", &TPeer::SetRts,
                              [](TCustomComPort& p, TNotifyEvent h) { p.SetOnCTSChange(h); }},
                      LineRow{siDSR, "DSR", &TPeer::SetDtr,
                              [](TCustomComPort& p, TNotifyEvent h) { p.SetOnDSRChange(h); }},
                      LineRow{siRLSD, "RLSD", &TPeer::SetDtr,
                              [](TCustomComPort& p, TNotifyEvent h) { p.SetOnRLSDChange(h); }}));

TEST_F(SignalTest, ARingLightsForItsDelayThoughTheIndicatorIsOffAgainAndGoesOffWithThePort) {
    Port->Open();
    TComSignal* ring = Indicator(siRing);
    EXPECT_FALSE(ring->SignalValue());

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return ring->SignalValue(); }));
    EXPECT_FALSE(Port->ModemStatus().Contains(msRing)) << "reported on its trailing edge";
    Port->Close();
    EXPECT_FALSE(ring->SignalValue());

    Port->Open();
    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return ring->SignalValue(); }));
    Advance(std::chrono::milliseconds(ring->Delay()));
    EXPECT_FALSE(ring->SignalValue()) << "off after its Delay";
}

TEST_F(SignalTest, ALineIndicatorBoundToAClosedPortStaysOffUntilItOpens) {
    TComSignal* cts = Indicator(siCTS);
    EXPECT_FALSE(cts->SignalValue());
    Port->Open();
    EXPECT_TRUE(cts->SignalValue());
}

} // namespace
} // namespace quillon::signaltest
