// The seven capability properties: the flag tables, what a pty reports and really takes,
// and the failures of the device query.
#include "comport/ComPort.h"
#include "enum_fixture.h"
#include "platform/virtual/VirtualSerial.h"
#include "pty_speed.h"
#include "tests/comport/Raises.h"

#include <termios.h>

namespace {

using namespace enumtest;
using namespace quillon;
using namespace qwin;

// ---- flag tables

TEST(CapabilityFlags, BaudRates) {
    EXPECT_EQ(BaudRatesFromFlags(BAUD_9600 | BAUD_19200 | BAUD_115200),
              (TBaudRates{br9600, br19200, br115200}));
    EXPECT_EQ(BaudRatesFromFlags(0), TBaudRates{});
    // Bits between the table's last rate and BAUD_USER mean nothing.
    EXPECT_EQ(BaudRatesFromFlags(0x00080000 | BAUD_USER), TBaudRates{brCustom});
}

struct TBaudRow {
    DWORD Flag;
    TBaudRate Rate;
};

class BaudFlag : public ::testing::TestWithParam<TBaudRow> {};

TEST_P(BaudFlag, GivesItsRateAloneAndAsMaximum) {
    EXPECT_EQ(BaudRatesFromFlags(GetParam().Flag), TBaudRates{GetParam().Rate});
    EXPECT_EQ(MaxBaudRateFromValue(GetParam().Flag), GetParam().Rate);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BaudFlag,
    ::testing::Values(
        TBaudRow{BAUD_075, br75}, TBaudRow{BAUD_110, br110}, TBaudRow{BAUD_134_5, br134_5},
        TBaudRow{BAUD_150, br150}, TBaudRow{BAUD_300, br300}, TBaudRow{BAUD_600, br600},
        TBaudRow{BAUD_1200, br1200}, TBaudRow{BAUD_1800, br1800}, TBaudRow{BAUD_2400, br2400},
        TBaudRow{BAUD_4800, br4800}, TBaudRow{BAUD_7200, br7200}, TBaudRow{BAUD_9600, br9600},
        TBaudRow{BAUD_14400, br14400}, TBaudRow{BAUD_19200, br19200}, TBaudRow{BAUD_38400, br38400},
        TBaudRow{BAUD_56K, br56000}, TBaudRow{BAUD_128K, br128000}, TBaudRow{BAUD_115200, br115200},
        TBaudRow{BAUD_57600, br57600}, TBaudRow{BAUD_USER, brCustom}));

TEST(CapabilityFlags, MaxBaudRateNeedsOneKnownFlag) {
    EXPECT_EQ(MaxBaudRateFromValue(0), brDefault);
    EXPECT_EQ(MaxBaudRateFromValue(BAUD_9600 | BAUD_19200), brDefault);
    EXPECT_EQ(MaxBaudRateFromValue(115200), brDefault); // a rate, not a flag
}

TEST(CapabilityFlags, SettableParametersFollowTheFlagsNotTheirOrder) {
    EXPECT_EQ(SettableParametersFromFlags(SP_PARITY | SP_PARITY_CHECK),
              (TSettableParameters{spParity, spParityCheck}));
    EXPECT_EQ(SettableParametersFromFlags(SP_BAUD), TSettableParameters{spBaudRate});
    EXPECT_EQ(SettableParametersFromFlags(SP_RLSD | SP_HANDSHAKING | 0x80),
              (TSettableParameters{spRLSD, spHandShaking}));
}

TEST(CapabilityFlags, DataBits) {
    EXPECT_EQ(DataBitsFromFlags(0x000F), (TSettableDataBits{db5, db6, db7, db8}));
    EXPECT_EQ(DataBitsFromFlags(DATABITS_16 | DATABITS_16X), (TSettableDataBits{db16, db16x}));
    EXPECT_EQ(DataBitsFromFlags(0x0040), TSettableDataBits{});
}

TEST(CapabilityFlags, StopBitsAndParityShareOneWord) {
    EXPECT_EQ(StopBitsFromFlags(0x0701), TSettableStopBits{sb1});
    EXPECT_EQ(ParityFromFlags(0x0701), (TSettableParity{paNone, paOdd, paEven}));
    EXPECT_EQ(StopBitsFromFlags(STOPBITS_15 | STOPBITS_20 | PARITY_MARK),
              (TSettableStopBits{sb1_5, sb2}));
    EXPECT_EQ(ParityFromFlags(PARITY_MARK | PARITY_SPACE | STOPBITS_10),
              (TSettableParity{paMark, paSpace}));
}

TEST(CapabilityFlags, Capabilities) {
    EXPECT_EQ(CapabilitiesFromFlags(PCF_DTRDSR | PCF_16BITMODE),
              (TCapabilities{caDtrDsr, ca16BitMode}));
    EXPECT_EQ(CapabilitiesFromFlags(PCF_SETXCHAR | PCF_INTTIMEOUTS),
              (TCapabilities{caSettableXChar, caIntervalTimeouts}));
    EXPECT_EQ(CapabilitiesFromFlags(0x400), TCapabilities{});
}

// ---- on a pty: every value reported can be set. A pty frames nothing (the kernel keeps
// it at CS8 without parity), so framing is checked in the device state the port reads
// back, and rates in the kernel's own modes.

class PtyCapabilities : public ::testing::Test {
  protected:
    void SetUp() override {
        Pty.CloseSlave();
        Port.SetDeviceName(rtl::Utf8ToString(Pty.SlavePath()));
        Port.Open();
    }
    termios Kernel() {
        termios t{};
        EXPECT_EQ(::tcgetattr(Pty.Master(), &t), 0); // a pty master reads its slave's modes
        return t;
    }
    DCB State() {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(GetCommState(Port.Handle(), dcb));
        return dcb;
    }
    TPty Pty;
    TComPort Port{nullptr};
};

TEST_F(PtyCapabilities, EveryDataSizeListedIsTaken) {
    EXPECT_EQ(Port.SettableDataBits(), (TSettableDataBits{db5, db6, db7, db8}));
    const std::pair<TDataBits, BYTE> sizes[] = {{db5, 5}, {db6, 6}, {db7, 7}, {db8, 8}};
    for (auto [bits, size] : sizes) {
        Port.SetDataBits(bits);
        EXPECT_EQ(State().ByteSize, size);
    }
}

TEST_F(PtyCapabilities, EveryParityListedIsTaken) {
    const TSettableParity parities = Port.SettableParity();
    EXPECT_TRUE(parities.Contains(paNone) && parities.Contains(paOdd) && parities.Contains(paEven));
    const std::pair<TParity, BYTE> modes[] = {{paNone, NOPARITY},
                                              {paOdd, ODDPARITY},
                                              {paEven, EVENPARITY},
                                              {paMark, MARKPARITY},
                                              {paSpace, SPACEPARITY}};
    for (auto [parity, value] : modes) {
        if (!parities.Contains(parity)) continue;
        Port.SetParity(parity);
        EXPECT_EQ(State().Parity, value) << int(parity);
    }
}

TEST_F(PtyCapabilities, EveryStopBitCountListedIsTaken) {
    const TSettableStopBits stops = Port.SettableStopBits();
    ASSERT_TRUE(stops.Contains(sb1) && stops.Contains(sb2));
    Port.SetStopBits(sb2);
    EXPECT_EQ(State().StopBits, TWOSTOPBITS);
    EXPECT_TRUE(Kernel().c_cflag & CSTOPB);
    Port.SetStopBits(sb1);
    EXPECT_EQ(State().StopBits, ONESTOPBIT);
    EXPECT_FALSE(Kernel().c_cflag & CSTOPB);
    if (stops.Contains(sb1_5)) { // a UART's 1.5 stop bits exist at 5 data bits
        Port.SetDataBits(db5);
        Port.SetStopBits(sb1_5);
        EXPECT_EQ(State().StopBits, ONE5STOPBITS);
    }
}

TEST_F(PtyCapabilities, EveryRateListedIsTaken) {
    const TBaudRates rates = Port.SettableBaudRates();
    int checked = 0;
    for (int r = br50; r < brCustom; ++r) {
        const auto rate = static_cast<TBaudRate>(r);
        if (!rates.Contains(rate)) continue;
        Port.SetBaudRate(rate);
        EXPECT_EQ(TtyOutputSpeed(Pty.Master()), static_cast<unsigned>(BaudRateTable[rate]));
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

TEST_F(PtyCapabilities, AnyRateWhenTheMaximumIsCustom) {
    if (Port.MaxBaudRate() != brCustom) GTEST_SKIP() << "the backend names a fixed maximum";
    EXPECT_TRUE(Port.SettableBaudRates().Contains(brCustom));
    Port.SetCustomBaudRate(250000);
    EXPECT_EQ(TtyOutputSpeed(Pty.Master()), 250000u);
}

// ---- failures of the query

TEST(CapabilityQuery, ClosedPortRaisesTheClosedPortMessage) {
    TComPort port(nullptr);
    const std::function<void()> reads[] = {
        [&] { port.Capabilities(); },       [&] { port.MaxBaudRate(); },
        [&] { port.SettableBaudRates(); },  [&] { port.SettableDataBits(); },
        [&] { port.SettableParameters(); }, [&] { port.SettableParity(); },
        [&] { port.SettableStopBits(); }};
    for (const auto& read : reads)
        EXPECT_TRUE(test::Raises(read, 0, "Can't perform this operation on a closed port"));
}

TEST(CapabilityQuery, OneDeviceQueryPerRead) {
    auto pair = qvirt::CreatePair("CapsA", "CapsB");
    TComPort port(nullptr);
    port.SetDeviceName(pair.A().DeviceName());
    port.Open();
    pair.A().ResetCalls();
    EXPECT_EQ(port.Capabilities().ToBits(), CapabilitiesFromFlags(0x3FF).ToBits());
    port.MaxBaudRate();
    port.SettableBaudRates();
    port.SettableDataBits();
    port.SettableParameters();
    port.SettableParity();
    port.SettableStopBits();
    EXPECT_EQ(pair.A().Calls().GetCommProperties, 7u);
}

TEST(CapabilityQuery, FailingQueryRaisesTheSystemErrorThroughOnError) {
    auto pair = qvirt::CreatePair("CapsC", "CapsD");
    TComPort port(nullptr);
    int errors = 0;
    rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)> onError(
        [&](TCustomComPort*, EComError&, TComAction&) { ++errors; });
    port.SetOnError(onError);
    port.SetDeviceName(pair.A().DeviceName());
    port.Open();
    pair.Unplug();
    EXPECT_TRUE(test::Raises([&] { port.SettableBaudRates(); }, ERROR_ACCESS_DENIED,
                             SysErrorMessage(ERROR_ACCESS_DENIED)))
        << "the query of a vanished device";
    EXPECT_EQ(errors, 1);
}

} // namespace
