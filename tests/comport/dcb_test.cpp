// The settings overlaid on a device control block and read back from one. No device.
#include "ProbePort.h"

#include <gtest/gtest.h>
#include <utility>

namespace quillon::test {
namespace {

using namespace qwin;

class DcbTest : public ::testing::Test {
  protected:
    DCB Overlay() {
        DCB dcb = DeviceRecord();
        port.SettingsToDCB(dcb);
        return dcb;
    }
    TProbePort port{nullptr};
};

TEST_F(DcbTest, DefaultsKeepTheDeviceFramingAndForceTheRest) {
    DCB dcb = Overlay();
    ExpectDefaultsOverRecord(dcb);
    // Members the settings do not name pass through untouched.
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.fDummy2, 0x1ABCDu);
    EXPECT_EQ(dcb.wReserved, 0x1234);
    EXPECT_EQ(dcb.wReserved1, 0x5678);
}

class BaudRateRow : public DcbTest,
                    public ::testing::WithParamInterface<std::pair<TBaudRate, DWORD>> {};

TEST_P(BaudRateRow, SendsItsRate) {
    port.SetBaudRate(GetParam().first);
    EXPECT_EQ(Overlay().BaudRate, GetParam().second);
    EXPECT_EQ(port.CustomBaudRate(), static_cast<int32_t>(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(
    EveryRate, BaudRateRow,
    ::testing::Values(std::pair{br50, 50u}, std::pair{br75, 75u}, std::pair{br110, 110u},
                      std::pair{br134_5, 134u}, std::pair{br150, 150u}, std::pair{br300, 300u},
                      std::pair{br600, 600u}, std::pair{br1200, 1200u}, std::pair{br1800, 1800u},
                      std::pair{br2000, 2000u}, std::pair{br2400, 2400u}, std::pair{br3600, 3600u},
                      std::pair{br4800, 4800u}, std::pair{br7200, 7200u}, std::pair{br9600, 9600u},
                      std::pair{br10400, 10400u}, std::pair{br14400, 14400u},
                      std::pair{br15625, 15625u}, std::pair{br19200, 19200u},
                      std::pair{br28800, 28800u}, std::pair{br38400, 38400u},
                      std::pair{br56000, 56000u}, std::pair{br57600, 57600u},
                      std::pair{br115200, 115200u}, std::pair{br128000, 128000u},
                      std::pair{br256000, 256000u}));

TEST_F(DcbTest, CustomRateIsSentOnlyUnderBrCustom) {
    EXPECT_EQ(port.CustomBaudRate(), 0) << "brDefault reads as 0";
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(Overlay().BaudRate, 31250u);

    port.SetBaudRate(br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    // Compared with the stored custom rate, so the same value changes nothing.
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(Overlay().BaudRate, 9600u);
}

TEST_F(DcbTest, FramingRowsSendTheirDeviceValues) {
    const std::pair<TDataBits, int> sizes[] = {{db4, 4}, {db5, 5}, {db6, 6},   {db7, 7},
                                               {db8, 8}, {db9, 9}, {db16, 16}, {db16x, 16}};
    for (auto [bits, size] : sizes) {
        port.SetDataBits(bits);
        EXPECT_EQ(Overlay().ByteSize, size) << "TDataBits " << int(bits);
    }
    const std::pair<TParity, int> parities[] = {
        {paNone, 0}, {paOdd, 1}, {paEven, 2}, {paMark, 3}, {paSpace, 4}};
    for (auto [parity, value] : parities) {
        port.SetParity(parity);
        EXPECT_EQ(Overlay().Parity, value) << "TParity " << int(parity);
    }
    const std::pair<TStopBits, int> stops[] = {{sb1, 0}, {sb1_5, 1}, {sb2, 2}};
    for (auto [stop, value] : stops) {
        port.SetStopBits(stop);
        EXPECT_EQ(Overlay().StopBits, value) << "TStopBits " << int(stop);
    }
}

TEST_F(DcbTest, FlowControlRowsSendTheirBits) {
    TFlowControl& flow = port.FlowControl();
    const std::pair<TDTRControl, unsigned> dtr[] = {
        {dcDisable, 0}, {dcEnable, 1}, {dcHandshake, 2}};
    for (auto [value, bits] : dtr) {
        flow.SetDTR(value);
        EXPECT_EQ(Overlay().fDtrControl, bits) << "TDTRControl " << int(value);
    }
    const std::pair<TRTSControl, unsigned> rts[] = {
        {rcDisable, 0}, {rcEnable, 1}, {rcHandshake, 2}, {rcToggle, 3}};
    for (auto [value, bits] : rts) {
        flow.SetRTS(value);
        EXPECT_EQ(Overlay().fRtsControl, bits) << "TRTSControl " << int(value);
    }
    struct XRow {
        TXOnXOffControl value;
        unsigned outX, inX;
    };
    const XRow xon[] = {
        {xcDisable, 0, 0}, {xcInput, 0, 1}, {xcOutput, 1, 0}, {xcInputOutput, 1, 1}};
    for (auto row : xon) {
        flow.SetXOnXOff(row.value);
        DCB dcb = Overlay();
        EXPECT_EQ(dcb.fOutX, row.outX) << "TXOnXOffControl " << int(row.value);
        EXPECT_EQ(dcb.fInX, row.inX) << "TXOnXOffControl " << int(row.value);
    }
    flow.SetXOnLimit(300);
    flow.SetXOffLimit(65535);
    EXPECT_EQ(Overlay().XonLim, 300);
    EXPECT_EQ(Overlay().XoffLim, 65535);
}

TEST_F(DcbTest, EachOptionDrivesExactlyItsFlag) {
    using Flag = unsigned (*)(const DCB&);
    const std::pair<TOption, Flag> rows[] = {
        {opCheckParity, [](const DCB& d) -> unsigned { return d.fParity; }},
        {opOutputCTSFlow, [](const DCB& d) -> unsigned { return d.fOutxCtsFlow; }},
        {opOutputDSRFlow, [](const DCB& d) -> unsigned { return d.fOutxDsrFlow; }},
        {opDSRSensitivity, [](const DCB& d) -> unsigned { return d.fDsrSensitivity; }},
        {opTXContinueOnXOff, [](const DCB& d) -> unsigned { return d.fTXContinueOnXoff; }},
        {opUseErrorChar, [](const DCB& d) -> unsigned { return d.fErrorChar; }},
        {opDiscardNullBytes, [](const DCB& d) -> unsigned { return d.fNull; }},
        {opAbortOnError, [](const DCB& d) -> unsigned { return d.fAbortOnError; }},
    };
    for (auto [option, flagOf] : rows) {
        port.SetOptions({option});
        DCB dcb = Overlay();
        for (auto [other, otherFlag] : rows)
            EXPECT_EQ(otherFlag(dcb), other == option ? 1u : 0u)
                << "option " << int(option) << ", flag of " << int(other);
    }
}

TEST_F(DcbTest, CharactersSendTheirLowByte) {
    TCharacters& chars = port.Characters();
    chars.SetXOn(0x1241);
    chars.SetXOff(0x0142);
    chars.SetError(0x00FF);
    chars.SetEof(0x1A);
    chars.SetEvent(0x7E0D);
    DCB dcb = Overlay();
    EXPECT_EQ(uint8_t(dcb.XonChar), 0x41);
    EXPECT_EQ(uint8_t(dcb.XoffChar), 0x42);
    EXPECT_EQ(uint8_t(dcb.ErrorChar), 0xFF);
    EXPECT_EQ(uint8_t(dcb.EofChar), 0x1A);
    EXPECT_EQ(uint8_t(dcb.EvtChar), 0x0D);
}

TEST_F(DcbTest, ZeroReadsBackAsTheRealSettingNotDefault) {
    DCB dcb{};
    dcb.ByteSize = 8;
    port.DCBToSettings(dcb);
    EXPECT_EQ(port.Parity(), paNone);
    EXPECT_EQ(port.StopBits(), sb1);
    EXPECT_EQ(port.FlowControl().DTR(), dcDisable);
    EXPECT_EQ(port.FlowControl().RTS(), rcDisable);
    EXPECT_EQ(port.FlowControl().XOnXOff(), xcDisable);
    // ...so the next push restores them instead of keeping what the device has then.
    DCB later = DeviceRecord();
    port.SettingsToDCB(later);
    EXPECT_EQ(later.Parity, NOPARITY);
    EXPECT_EQ(later.StopBits, ONESTOPBIT);
    EXPECT_EQ(later.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(later.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(later.fInX, 0u);
}

TEST_F(DcbTest, ReadBackTakesEveryMember) {
    port.DCBToSettings(DeviceRecord());
    EXPECT_EQ(port.BaudRate(), brCustom) << "the rate goes through CustomBaudRate";
    EXPECT_EQ(port.CustomBaudRate(), 4800);
    EXPECT_EQ(port.DataBits(), db7);
    EXPECT_EQ(port.Parity(), paEven);
    EXPECT_EQ(port.StopBits(), sb2);
    EXPECT_EQ(port.FlowControl().DTR(), dcHandshake);
    EXPECT_EQ(port.FlowControl().RTS(), rcToggle);
    EXPECT_EQ(port.FlowControl().XOnXOff(), xcInput);
    EXPECT_EQ(port.FlowControl().XOnLimit(), 10);
    EXPECT_EQ(port.FlowControl().XOffLimit(), 20);
    EXPECT_EQ(port.Characters().XOn(), 1);
    EXPECT_EQ(port.Characters().XOff(), 2);
    EXPECT_EQ(port.Characters().Error(), 3);
    EXPECT_EQ(port.Characters().Eof(), 4);
    EXPECT_EQ(port.Characters().Event(), 5);
    TOptions all;
    for (int o = opCheckParity; o <= opAbortOnError; ++o)
        all.Include(TOption(o));
    EXPECT_EQ(port.Options(), all);
}

TEST_F(DcbTest, ReadBackCharactersAreZeroExtended) {
    DCB dcb = DeviceRecord();
    dcb.XonChar = char(0xF1);
    port.DCBToSettings(dcb);
    EXPECT_EQ(port.Characters().XOn(), 0x00F1);
}

TEST_F(DcbTest, UnmatchedValuesLeaveTheSettingAlone) {
    port.SetDataBits(db6);
    port.FlowControl().SetDTR(dcEnable);
    port.SetParity(paMark);
    port.SetStopBits(sb1_5);
    DCB dcb = DeviceRecord();
    dcb.ByteSize = 3;
    dcb.fDtrControl = 3;
    dcb.Parity = 9;
    dcb.StopBits = 7;
    port.DCBToSettings(dcb);
    EXPECT_EQ(port.DataBits(), db6);
    EXPECT_EQ(port.FlowControl().DTR(), dcEnable);
    EXPECT_EQ(port.Parity(), paMark);
    EXPECT_EQ(port.StopBits(), sb1_5);
}

TEST_F(DcbTest, OptionsAreRebuiltFromTheFlagsAlone) {
    port.SetOptions({opCheckParity});
    DCB dcb = DeviceRecord();
    dcb.fBinary = 1;
    dcb.fParity = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = 0;
    port.DCBToSettings(dcb);
    EXPECT_TRUE(port.Options().Empty());
}

} // namespace
} // namespace quillon::test
