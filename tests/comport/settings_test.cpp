// What the port writes to a device for its settings, observed on an in-memory device that
// records every record it is given and counts every driver call.
#include "Peer.h"
#include "ProbePort.h"
#include "Raises.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

using namespace qwin;

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { port.SetDeviceName(pair.A().DeviceName()); }

    // Leaves the device holding dcb and timeouts, as another program would.
    void Preset(const DCB& dcb, const COMMTIMEOUTS& timeouts) {
        HANDLE h = OpenEnd(pair.A());
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetCommState(h, dcb));
        EXPECT_TRUE(SetCommTimeouts(h, timeouts));
        CloseHandle(h);
    }

    qvirt::TDriverCalls Calls() const { return pair.A().Calls(); }
    void ResetCalls() { pair.A().ResetCalls(); }

    qvirt::TPair pair = CreateTestPair();
    TProbePort port{nullptr};
};

TEST_F(SettingsTest, AllDefaultOpenKeepsTheDeviceFramingAndForcesTheRest) {
    Preset(DeviceRecord(), COMMTIMEOUTS{1, 2, 3, 4, 5});

    port.Open();
    ExpectDefaultsOverRecord(pair.A().State());
    EXPECT_EQ(pair.A().QueueSizes(), (qvirt::TQueueSizes{4096, 2048}));
    COMMTIMEOUTS t = pair.A().Timeouts();
    EXPECT_EQ(t.ReadIntervalTimeout + t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant +
                  t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant,
              0u);
}

TEST_F(SettingsTest, OpeningPushesEachGroupOnce) {
    port.Open();
    qvirt::TDriverCalls calls = Calls();
    EXPECT_EQ(calls.Opens, 1u);
    EXPECT_EQ(calls.PurgeComm, 2u) << "both directions purged";
    EXPECT_EQ(calls.SetupComm, 1u);
    EXPECT_EQ(calls.GetCommState, 1u);
    EXPECT_EQ(calls.SetCommState, 1u);
    EXPECT_EQ(calls.GetCommTimeouts, 1u);
    EXPECT_EQ(calls.SetCommTimeouts, 1u);
}

TEST_F(SettingsTest, ValuesWithoutADeviceFormOfTheirOwnSendTheNearestOne) {
    port.Open();
    port.SetBaudRate(br134_5);
    EXPECT_EQ(pair.A().State().BaudRate, 134u);
    port.Timeouts().SetReadInterval(-1);
    EXPECT_EQ(pair.A().Timeouts().ReadIntervalTimeout, MAXDWORD);
    port.SetDataBits(db16x);
    DCB dcb = pair.A().State();
    EXPECT_EQ(dcb.ByteSize, 16);
    port.DCBToSettings(dcb);
    EXPECT_EQ(port.DataBits(), db16) << "db16x reads back as db16";
}

TEST_F(SettingsTest, CustomRateSequenceOnAnOpenPort) {
    port.SetBaudRate(br9600);
    port.Open();
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(pair.A().State().BaudRate, 31250u);

    port.SetBaudRate(br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(pair.A().State().BaudRate, 9600u);

    ResetCalls();
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});
}

TEST_F(SettingsTest, AChangeOnAnOpenPortCostsOneReadAndOneWrite) {
    port.Open();
    ResetCalls();
    port.SetParity(paOdd);
    qvirt::TDriverCalls dcbOnly;
    dcbOnly.GetCommState = dcbOnly.SetCommState = 1;
    EXPECT_EQ(Calls(), dcbOnly);
    EXPECT_EQ(pair.A().State().Parity, ODDPARITY);

    ResetCalls();
    port.Timeouts().SetWriteConstant(250);
    qvirt::TDriverCalls timeoutsOnly;
    timeoutsOnly.GetCommTimeouts = timeoutsOnly.SetCommTimeouts = 1;
    EXPECT_EQ(Calls(), timeoutsOnly);
    EXPECT_EQ(pair.A().Timeouts().WriteTotalTimeoutConstant, 250u);

    ResetCalls();
    port.BufferSizes().SetOutput(1024);
    qvirt::TDriverCalls queuesOnly;
    queuesOnly.SetupComm = 1;
    EXPECT_EQ(Calls(), queuesOnly);
    EXPECT_EQ(pair.A().QueueSizes(), (qvirt::TQueueSizes{4096, 1024}));
}

TEST_F(SettingsTest, UnchangedWritesMakeNoDriverCall) {
    port.SetBaudRate(br19200);
    port.SetParity(paEven);
    port.Open();
    ResetCalls();
    port.SetBaudRate(br19200);
    port.SetCustomBaudRate(0);
    port.SetDataBits(dbDefault);
    port.SetParity(paEven);
    port.SetStopBits(sbDefault);
    port.SetOptions({});
    port.FlowControl().SetDTR(dcDefault);
    port.FlowControl().SetRTS(rcDefault);
    port.FlowControl().SetXOnXOff(xcDefault);
    port.FlowControl().SetXOnLimit(0);
    port.FlowControl().SetXOffLimit(0);
    port.Characters().SetXOn(17);
    port.Characters().SetXOff(19);
    port.Characters().SetError(0);
    port.Characters().SetEof(0);
    port.Characters().SetEvent(0);
    port.BufferSizes().SetInput(4096);
    port.BufferSizes().SetOutput(2048);
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadMultiplier(0);
    port.Timeouts().SetReadConstant(0);
    port.Timeouts().SetWriteMultiplier(0);
    port.Timeouts().SetWriteConstant(0);
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});
}

TEST_F(SettingsTest, MinusOneQueueSizeCallsNothing) {
    port.Open();
    ResetCalls();
    port.BufferSizes().SetInput(-1);
    EXPECT_EQ(port.BufferSizes().Input(), -1);
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});

    port.BufferSizes().SetOutput(512);
    port.Close();
    port.Open();
    EXPECT_EQ(Calls().SetupComm, 0u);
    EXPECT_EQ(pair.A().QueueSizes(), (qvirt::TQueueSizes{4096, 2048})) << "left as they were";
}

TEST_F(SettingsTest, TimeoutsAreSentMemberByMember) {
    port.Timeouts().SetReadInterval(11);
    port.Timeouts().SetReadMultiplier(12);
    port.Timeouts().SetReadConstant(13);
    port.Timeouts().SetWriteMultiplier(14);
    port.Timeouts().SetWriteConstant(15);
    port.Open();
    COMMTIMEOUTS t = pair.A().Timeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 11u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 12u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 13u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 14u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 15u);
}

TEST_F(SettingsTest, SettersOnAClosedPortOnlyStore) {
    port.SetBaudRate(br57600);
    port.SetParity(paSpace);
    port.Timeouts().SetReadConstant(5);
    port.BufferSizes().SetInput(100);
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});
    EXPECT_EQ(port.BaudRate(), br57600);
    EXPECT_EQ(port.Parity(), paSpace);
    EXPECT_EQ(port.Timeouts().ReadConstant(), 5);
    EXPECT_EQ(port.BufferSizes().Input(), 100);
}

TEST_F(SettingsTest, DesignModeTouchesNoDevice) {
    port.SetDesigning(true);
    port.SetActive(true);
    EXPECT_TRUE(port.Active()) << "the value is only recorded";
    port.Open();
    port.SetBaudRate(br300);
    port.Timeouts().SetReadInterval(7);
    port.BufferSizes().SetInput(64);
    port.PurgeInput();
    EXPECT_TRUE(port.ModemStatus().Empty());
    EXPECT_FALSE(pair.A().IsOpen());
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});
    EXPECT_EQ(port.BaudRate(), br300);
}

TEST_F(SettingsTest, StoredActiveOpensInLoadedWithEveryStoredSetting) {
    port.BeginLoading();
    port.SetActive(true);
    port.SetBaudRate(br19200);
    port.Timeouts().SetReadConstant(40);
    EXPECT_FALSE(pair.A().IsOpen());
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});

    port.Loaded();
    EXPECT_TRUE(port.Active());
    EXPECT_EQ(pair.A().State().BaudRate, 19200u);
    EXPECT_EQ(pair.A().Timeouts().ReadTotalTimeoutConstant, 40u);
    EXPECT_EQ(Calls().SetCommState, 1u) << "pushed once, by the open";
}

TEST_F(SettingsTest, ARefusedSettingRaisesAndIsKept) {
    port.SetBaudRate(br9600);
    port.Open();
    EXPECT_TRUE(Raises([&] { port.SetDataBits(db9); }, ERROR_INVALID_PARAMETER,
                       SysErrorMessage(ERROR_INVALID_PARAMETER)));
    EXPECT_EQ(port.DataBits(), db9);
    EXPECT_EQ(pair.A().State().ByteSize, 8) << "the device keeps its settings";
    EXPECT_EQ(GetLastError(), 0u) << "cleared before raising";

    // Every later push carries the refused value again.
    EXPECT_THROW(port.SetParity(paEven), EComError);
    EXPECT_EQ(port.Parity(), paEven);
    EXPECT_EQ(pair.A().State().Parity, NOPARITY);
    port.Close();
    EXPECT_THROW(port.Open(), EComError);
    EXPECT_FALSE(port.Active());
}

TEST_F(SettingsTest, AFailedLaterOpeningStepClosesTheDevice) {
    pair.A().SetMaxQueueSizes(1024, 1024);
    EXPECT_TRUE(Raises([&] { port.Open(); }, ERROR_INVALID_PARAMETER))
        << "queue sizes above the device's maximum";
    EXPECT_FALSE(port.Active());
    EXPECT_FALSE(pair.A().IsOpen());
    EXPECT_EQ(Calls().Closes, 1u);
}

TEST_F(SettingsTest, QueueSizePropertiesAreReadFromTheOpenDevice) {
    EXPECT_TRUE(Raises([&] { port.BufferSizes().MaxInput(); }, 0, SClosedPort));
    pair.A().SetMaxQueueSizes(8192, 4096);
    port.Open();
    EXPECT_EQ(port.BufferSizes().MaxInput(), 8192u);
    EXPECT_EQ(port.BufferSizes().MaxOutput(), 4096u);
    EXPECT_EQ(port.BufferSizes().CurrentInput(), 4096u);
    EXPECT_EQ(port.BufferSizes().CurrentOutput(), 2048u);
}

TEST_F(SettingsTest, AssigningAGroupCopiesItAndPushesOnce) {
    TComPort other(nullptr);
    other.FlowControl().SetRTS(rcHandshake);
    other.FlowControl().SetXOnLimit(64);
    other.FlowControl().SetXOffLimit(32);
    port.Open();
    ResetCalls();
    TFlowControl* own = &port.FlowControl();
    port.SetFlowControl(other.FlowControl());
    EXPECT_EQ(&port.FlowControl(), own) << "the port keeps its own group";
    EXPECT_EQ(port.FlowControl().RTS(), rcHandshake);
    EXPECT_EQ(port.FlowControl().XOnLimit(), 64);
    EXPECT_EQ(Calls().SetCommState, 1u);
    EXPECT_EQ(pair.A().State().fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(pair.A().State().XoffLim, 32);

    ResetCalls();
    port.SetFlowControl(other.FlowControl());
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{}) << "nothing changed, nothing pushed";

    other.Timeouts().SetReadConstant(9);
    other.BufferSizes().SetInput(8000);
    other.Characters().SetEof(26);
    port.SetTimeouts(other.Timeouts());
    port.SetBufferSizes(other.BufferSizes());
    port.SetCharacters(other.Characters());
    EXPECT_EQ(pair.A().Timeouts().ReadTotalTimeoutConstant, 9u);
    EXPECT_EQ(pair.A().QueueSizes().Input, 8000u);
    EXPECT_EQ(pair.A().State().EofChar, 26);
}

TEST_F(SettingsTest, AssigningAnotherKindOfObjectIsAConversionError) {
    port.Open();
    ResetCalls();
    EXPECT_TRUE(Raises<rtl::EConvertError>([&] { port.SetFlowControl(port.Timeouts()); },
                                           std::nullopt,
                                           "Cannot assign a TTimeouts to a TFlowControl"));
    EXPECT_THROW(port.SetTimeouts(port), rtl::EConvertError);
    EXPECT_EQ(port.FlowControl().DTR(), dcDefault);
    EXPECT_EQ(Calls(), qvirt::TDriverCalls{});
}

} // namespace
} // namespace quillon::test
