// Settings of a virtual end (DCB, queue sizes, properties), what the control object
// observes of them, the call counters, and the pair's own rules for names.
#include "tests/platform/virtual_fixture.h"

#include <cstring>
#include <system_error>

namespace qvirt::test {
namespace {

using VirtualState = VirtualPairTest;

bool SameDcb(const DCB& x, const DCB& y) {
    return std::memcmp(&x, &y, sizeof(DCB)) == 0;
}

TEST_F(VirtualState, AFreshEndIs9600EightNoneOne) {
    const HANDLE a = Open(Pair.A());
    DCB dcb{};
    ASSERT_TRUE(GetCommState(a, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_TRUE(SameDcb(dcb, Pair.A().State()));
}

TEST_F(VirtualState, TheDcbIsKeptExactlyAsSet) {
    const HANDLE a = Open(Pair.A());
    DCB set{};
    set.DCBlength = sizeof(DCB);
    set.BaudRate = 31250; // any rate: it is recorded, not simulated
    set.fBinary = 1;
    set.fParity = 1;
    set.fTXContinueOnXoff = 1;
    set.fDummy2 = 0x1234;
    set.wReserved = 7;
    set.XonLim = 100;
    set.XoffLim = 200;
    set.ByteSize = 7;
    set.Parity = MARKPARITY;
    set.StopBits = TWOSTOPBITS;
    set.XonChar = 1;
    set.XoffChar = 2;
    set.ErrorChar = '?';
    set.EofChar = 26;
    set.EvtChar = '\r';
    set.wReserved1 = 9;
    ASSERT_TRUE(SetCommState(a, set));
    DCB got{};
    ASSERT_TRUE(GetCommState(a, got));
    EXPECT_TRUE(SameDcb(got, set));
    EXPECT_TRUE(SameDcb(Pair.A().State(), set));
}

struct TDcbRow {
    const char* What;
    void (*Change)(DCB&);
};

class RefusedStates : public VirtualPairTest, public ::testing::WithParamInterface<TDcbRow> {};

TEST_P(RefusedStates, FailWithEinvalAndKeepThePreviousState) {
    const HANDLE a = Open(Pair.A());
    DCB before{}, dcb{};
    ASSERT_TRUE(GetCommState(a, before));
    dcb = before;
    GetParam().Change(dcb);
    EXPECT_FAILS_WITH(SetCommState(a, dcb), ERROR_INVALID_PARAMETER);
    DCB after{};
    ASSERT_TRUE(GetCommState(a, after));
    EXPECT_TRUE(SameDcb(after, before));
}

INSTANTIATE_TEST_SUITE_P(
    Virtual, RefusedStates,
    ::testing::Values(TDcbRow{"rate0", [](DCB& d) { d.BaudRate = 0; }},
                      TDcbRow{"four", [](DCB& d) { d.ByteSize = 4; }},
                      TDcbRow{"nine", [](DCB& d) { d.ByteSize = 9; }},
                      TDcbRow{"parity5", [](DCB& d) { d.Parity = 5; }},
                      TDcbRow{"stop3", [](DCB& d) { d.StopBits = 3; }},
                      TDcbRow{"fiveTwo", [](DCB& d) { d.ByteSize = 5, d.StopBits = 2; }},
                      TDcbRow{"eightOneHalf", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
                      TDcbRow{"dtr3", [](DCB& d) { d.fDtrControl = 3; }},
                      TDcbRow{"xonIsXoff", [](DCB& d) { d.fInX = 1, d.XonChar = d.XoffChar; }}),
    [](const auto& info) { return std::string(info.param.What); });

TEST_F(VirtualState, EdgeFormatsAreAccepted) {
    const HANDLE a = Open(Pair.A());
    SetState(a, [](DCB& d) { d.ByteSize = 16; });
    SetState(a, [](DCB& d) { d.ByteSize = 5, d.StopBits = ONE5STOPBITS; });
    SetState(a, [](DCB& d) { d.ByteSize = 6, d.StopBits = TWOSTOPBITS; });
    EXPECT_EQ(Pair.A().State().ByteSize, 6);
}

TEST_F(VirtualState, QueueSizesAreRecordedAndReported) {
    const HANDLE a = Open(Pair.A());
    ASSERT_TRUE(SetupComm(a, 4096, 2048));
    EXPECT_EQ(Pair.A().QueueSizes(), (TQueueSizes{4096, 2048}));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(a, prop));
    EXPECT_EQ(prop.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(prop.dwCurrentTxQueue, 2048u);
    EXPECT_EQ(prop.dwMaxRxQueue, 0u);
}

TEST_F(VirtualState, QueueSizesBeyondTheLimitsAreRefused) {
    Pair.A().SetMaxQueueSizes(1024, 512);
    const HANDLE a = Open(Pair.A());
    EXPECT_FAILS_WITH(SetupComm(a, 2048, 512), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(SetupComm(a, 1024, 513), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(SetupComm(a, 0, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Pair.A().QueueSizes(), (TQueueSizes{0, 0}));
    EXPECT_TRUE(SetupComm(a, 1024, 512));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(a, prop));
    EXPECT_EQ(prop.dwMaxRxQueue, 1024u);
    EXPECT_EQ(prop.dwMaxTxQueue, 512u);
}

TEST_F(VirtualState, PropertiesOfferEverythingSettable) {
    const HANDLE a = Open(Pair.A());
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(a, prop));
    EXPECT_EQ(prop.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(prop.dwMaxBaud, BAUD_USER);
    EXPECT_EQ(prop.dwProvCapabilities, 0x3FFu);  // every PCF_ flag
    EXPECT_EQ(prop.dwSettableParams, 0x7Fu);     // every SP_ flag
    EXPECT_EQ(prop.dwSettableBaud, 0x1007FFFFu); // BAUD_075 .. BAUD_57600 and BAUD_USER
    EXPECT_EQ(prop.wSettableData, DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8 | DATABITS_16);
    EXPECT_EQ(prop.wSettableStopParity, 0x1F07);
}

TEST_F(VirtualState, SettingsSurviveReopening) {
    HANDLE a = Open(Pair.A());
    SetState(a, [](DCB& d) { d.BaudRate = 115200; });
    SetTimeouts(a, MAXDWORD, 0, 0);
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    ASSERT_TRUE(CloseHandle(a));
    Forget(a);
    EXPECT_EQ(Pair.A().EventMask(), 0u); // the mask belongs to the open
    a = Open(Pair.A());
    DCB dcb{};
    ASSERT_TRUE(GetCommState(a, dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(Pair.A().Timeouts().ReadIntervalTimeout, MAXDWORD);
}

TEST_F(VirtualState, EveryDriverCallIsCountedFailedOnesToo) {
    const HANDLE a = Open(Pair.A());
    DCB dcb{};
    ASSERT_TRUE(GetCommState(a, dcb));
    ASSERT_TRUE(SetCommState(a, dcb));
    dcb.ByteSize = 3;
    EXPECT_FALSE(SetCommState(a, dcb));
    ASSERT_TRUE(SetupComm(a, 64, 64));
    ASSERT_TRUE(SetCommMask(a, EV_RXCHAR));
    ASSERT_TRUE(EscapeCommFunction(a, CLRDTR));
    ASSERT_TRUE(SetCommBreak(a));

    TDriverCalls expected;
    expected.Opens = 1;
    expected.GetCommState = 1;
    expected.SetCommState = 2;
    expected.SetupComm = 1;
    expected.SetCommMask = 1;
    expected.EscapeCommFunction = 2;
    EXPECT_EQ(Pair.A().Calls(), expected);
    EXPECT_EQ(Pair.B().Calls().SetCommState, 0u);

    Pair.A().ResetCalls();
    EXPECT_EQ(Pair.A().Calls(), TDriverCalls{});
    ASSERT_TRUE(CloseHandle(a));
    Forget(a);
    EXPECT_EQ(Pair.A().Calls().Closes, 1u);
}

TEST_F(VirtualState, LinesReportWhatTheEndDrives) {
    EXPECT_EQ(Pair.A().Lines(), TLineState{});
    const HANDLE a = Open(Pair.A());
    EXPECT_EQ(Pair.A().Lines(), (TLineState{true, true, false}));
    ASSERT_TRUE(EscapeCommFunction(a, CLRDTR));
    EXPECT_EQ(Pair.A().Lines(), (TLineState{false, true, false}));
}

TEST(VirtualPairs, NamesMustBeUsable) {
    EXPECT_THROW(CreatePair("", "B"), std::invalid_argument);
    EXPECT_THROW(CreatePair("same", "same"), std::invalid_argument);
    EXPECT_THROW(CreatePair("virtual:X", "Y"), std::invalid_argument);
}

TEST(VirtualPairs, NamesAreFreedWithTheirPair) {
    TPair first = CreatePair("N1", "N2");
    try {
        CreatePair("N3", "N2");
        ADD_FAILURE() << "a name in use was taken twice";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), EEXIST);
    }
    first.Delete();
    EXPECT_FALSE(first);
    TPair second = CreatePair("N3", "N2");
    EXPECT_EQ(second.B().Name(), "N2");
    EXPECT_EQ(second.A().DeviceName(), u"virtual:N3");
}

TEST(VirtualPairs, AnEmptyPairObjectRefusesUse) {
    TPair empty;
    EXPECT_THROW(empty.A(), std::logic_error);
    EXPECT_THROW(empty.Unplug(), std::logic_error);
}

} // namespace
} // namespace qvirt::test
