// The settings dialogs over a scripted dialog provider: what the dialog is shown, what a
// confirmation changes, and what a cancellation or a failure leaves alone.
#include "comport/ComPort.h"
#include "enum_fixture.h"
#include "pty_speed.h"
#include "tests/comport/Raises.h"

#include <termios.h>

namespace {

using namespace enumtest;
using namespace quillon;
using namespace qwin;

class ConfigDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Pty.CloseSlave();
        Port.SetDeviceName(rtl::Utf8ToString(Pty.SlavePath()));
        Port.SetOnError(OnError);
    }
    void TearDown() override { SetCommConfigDialogProvider(nullptr); }

    /// Installs a dialog that records what it is shown, applies edit and answers confirm.
    void Script(
        bool confirm, std::function<void(DCB&)> edit = [](DCB&) {}) {
        SetCommConfigDialogProvider([this, confirm, edit](const string& name, COMMCONFIG& cc) {
            ++Shown;
            ShownName = name;
            ShownDcb = cc.dcb;
            edit(cc.dcb);
            return confirm;
        });
    }
    DCB Default() {
        COMMCONFIG cc{};
        DWORD size = sizeof cc;
        EXPECT_TRUE(GetDefaultCommConfig(rtl::Utf8ToString(Pty.SlavePath()), &cc, &size));
        return cc.dcb;
    }

    TPty Pty;
    TComPort Port{nullptr};
    int Shown = 0;
    string ShownName;
    DCB ShownDcb{};
    int Errors = 0;
    rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)> OnError{
        [this](TCustomComPort*, EComError&, TComAction&) { ++Errors; }};
};

TEST_F(ConfigDialogTest, ConfirmAppliesTheEditedSettingsToTheOpenPort) {
    Port.SetParity(paEven);
    Port.Open();
    Script(true, [](DCB& dcb) {
        dcb.BaudRate = 19200;
        dcb.ByteSize = 7;
        dcb.Parity = NOPARITY;
        dcb.StopBits = TWOSTOPBITS;
    });
    EXPECT_TRUE(Port.ConfigDialog());
    EXPECT_EQ(Shown, 1);
    EXPECT_EQ(ShownDcb.Parity, EVENPARITY); // the dialog starts from the port's settings
    // The rate comes back through CustomBaudRate, which makes it a custom rate.
    EXPECT_EQ(Port.BaudRate(), brCustom);
    EXPECT_EQ(Port.CustomBaudRate(), 19200);
    EXPECT_EQ(Port.DataBits(), db7);
    EXPECT_EQ(Port.Parity(), paNone); // not paDefault, which would keep even parity
    EXPECT_EQ(Port.StopBits(), sb2);

    EXPECT_EQ(TtyOutputSpeed(Pty.Master()), 19200u);
    termios modes{};
    ASSERT_EQ(::tcgetattr(Pty.Master(), &modes), 0);
    EXPECT_TRUE(modes.c_cflag & CSTOPB);
    DCB state{};
    state.DCBlength = sizeof state;
    ASSERT_TRUE(GetCommState(Port.Handle(), state));
    EXPECT_EQ(state.Parity, NOPARITY);
    EXPECT_EQ(state.ByteSize, 7);
}

TEST_F(ConfigDialogTest, CancelChangesNothing) {
    Port.SetBaudRate(br57600);
    Port.Open();
    Script(false, [](DCB& dcb) {
        dcb.BaudRate = 300;
        dcb.Parity = ODDPARITY;
    });
    EXPECT_FALSE(Port.ConfigDialog());
    EXPECT_EQ(Shown, 1);
    EXPECT_EQ(Port.BaudRate(), br57600);
    EXPECT_EQ(Port.Parity(), paDefault);
    EXPECT_EQ(TtyOutputSpeed(Pty.Master()), 57600u);
}

TEST_F(ConfigDialogTest, WithoutADialogTheAnswerIsNo) {
    Port.SetBaudRate(br9600);
    EXPECT_FALSE(Port.ConfigDialog());
    EXPECT_FALSE(Port.DefaultConfigDialog());
    EXPECT_EQ(Port.BaudRate(), br9600);
    EXPECT_EQ(Errors, 0);
}

TEST_F(ConfigDialogTest, DeviceNamespacePrefixIsLeftOutOfTheDialog) {
    Script(false);
    Port.SetDeviceName(u"\\\\.\\" + rtl::Utf8ToString(Pty.SlavePath()));
    Port.ConfigDialog();
    EXPECT_EQ(rtl::StringToUtf8(ShownName), Pty.SlavePath());
    Port.SetDeviceName(rtl::Utf8ToString(Pty.SlavePath()));
    Port.DefaultConfigDialog();
    EXPECT_EQ(rtl::StringToUtf8(ShownName), Pty.SlavePath());
    EXPECT_EQ(Shown, 2);
}

TEST_F(ConfigDialogTest, ClosedPortTakesTheSettingsWithoutTouchingTheDevice) {
    const unsigned before = TtyOutputSpeed(Pty.Master());
    Script(true, [before](DCB& dcb) { dcb.BaudRate = before == 38400 ? 19200 : 38400; });
    EXPECT_TRUE(Port.ConfigDialog());
    EXPECT_EQ(Port.CustomBaudRate(), before == 38400 ? 19200 : 38400);
    EXPECT_EQ(TtyOutputSpeed(Pty.Master()), before);
    EXPECT_FALSE(Port.Active());
}

TEST_F(ConfigDialogTest, DefaultDialogStoresTheSystemDefaultOnly) {
    Port.SetBaudRate(br57600);
    const DCB before = Default();
    Script(true, [](DCB& dcb) { dcb.BaudRate = 4800; });
    EXPECT_TRUE(Port.DefaultConfigDialog());
    EXPECT_EQ(ShownDcb.BaudRate, before.BaudRate); // not overlaid with the port's settings
    EXPECT_EQ(Default().BaudRate, 4800u);
    EXPECT_EQ(Port.BaudRate(), br57600);
}

TEST_F(ConfigDialogTest, CancelledDefaultDialogStoresNothing) {
    const DCB before = Default();
    Script(false, [](DCB& dcb) { dcb.BaudRate = 1200; });
    EXPECT_FALSE(Port.DefaultConfigDialog());
    EXPECT_EQ(Default().BaudRate, before.BaudRate);
}

TEST_F(ConfigDialogTest, UnknownDeviceRaisesBeforeShowingAnything) {
    Script(true);
    Port.SetDeviceName(u"/dev/quillon-no-such-port");
    for (auto dialog : {&TComPort::ConfigDialog, &TComPort::DefaultConfigDialog})
        EXPECT_TRUE(test::Raises([&] { (Port.*dialog)(); }, ENOENT, SysErrorMessage(ENOENT)));
    EXPECT_EQ(Shown, 0);
    EXPECT_EQ(Errors, 2);
}

TEST_F(ConfigDialogTest, RefusedDefaultRaisesTheSystemError) {
    const DCB before = Default();
    Script(true, [](DCB& dcb) { dcb.ByteSize = 4; });
    EXPECT_TRUE(test::Raises([&] { Port.DefaultConfigDialog(); }, ERROR_INVALID_PARAMETER))
        << "a 4-bit default";
    EXPECT_EQ(Errors, 1);
    EXPECT_EQ(Default().ByteSize, before.ByteSize);
}

TEST_F(ConfigDialogTest, RefusedSettingsAreKeptAndRaised) {
    Port.Open();
    Script(true, [](DCB& dcb) { dcb.ByteSize = 16; });
    EXPECT_THROW(Port.ConfigDialog(), EComError);
    EXPECT_EQ(Errors, 1);
    EXPECT_EQ(Port.DataBits(), db16); // the settings hold the refused value
}

} // namespace
