// The rate a tty gets from the port, as other programs read it; low latency as the driver
// takes it.
#include "PtyPort.h"
#include "Raises.h"
#include "platform/linux/tty/TermiosIo.h"
#include "tests/support/ClassicRate.h"
#include "tests/support/UartModel.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

using namespace qwin;

// Either setter, on a real tty: what stty and cfgetospeed read, or TCGETS2 for an odd rate.
TEST(SettingsOnAPty, EitherSetterWritesAStandardRateByItsCode) {
    TPty pty;
    TComPort port{nullptr};
    port.SetDeviceName(pty.DeviceName());
    port.SetBaudRate(br57600);
    port.Open();
    EXPECT_EQ(quillon_test::ClassicRateOf(pty.Slave()).stty, "speed 57600 baud");
    port.SetCustomBaudRate(115200);
    EXPECT_EQ(quillon_test::ClassicRateOf(pty.Slave()).code, B115200);
    port.SetCustomBaudRate(250000);
    posix::TtyImage exact;
    ASSERT_EQ(posix::ReadTty(pty.Slave(), exact), 0);
    EXPECT_EQ(exact.ospeed, 250000u);
    port.SetBaudRate(br19200);
    EXPECT_EQ(quillon_test::ClassicRateOf(pty.Slave()).stty, "speed 19200 baud");
}

// Off unless asked: the driver's flag is never touched then.
TEST(LowLatency, ReachesTheDriverAtOpenAndWhileOpenAndARefusalIsRaised) {
    TPty pty;
    quillon_test::TUartModel uart(pty.Master(), pty.SlavePath());
    TComPort port{nullptr};
    port.SetDeviceName(pty.DeviceName());
    port.Open();
    EXPECT_FALSE(uart.LowLatency());
    port.SetLowLatency(true);
    EXPECT_TRUE(uart.LowLatency());
    port.Close();
    port.Open();
    EXPECT_TRUE(uart.LowLatency());
    port.SetLowLatency(false);
    EXPECT_FALSE(uart.LowLatency());
    port.Close();

    uart.IgnoreLowLatency(); // as some USB drivers do
    port.SetLowLatency(true);
    EXPECT_TRUE(Raises([&] { port.Open(); }, EOPNOTSUPP, SysErrorMessage(EOPNOTSUPP)));
    EXPECT_FALSE(port.Active());
}

TEST(LowLatency, APtyHasNoSuchModeAndSaysSo) {
    TPty pty;
    TComPort port{nullptr};
    port.SetDeviceName(pty.DeviceName());
    port.SetLowLatency(true);
    EXPECT_TRUE(Raises([&] { port.Open(); }, ENOTTY, SysErrorMessage(ENOTTY)));
    port.SetLowLatency(false);
    port.Open();
    EXPECT_TRUE(port.Active());
}

} // namespace
} // namespace quillon::test
