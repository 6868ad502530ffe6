// The rate a tty gets from the port, as other programs read it.
#include "PtyPort.h"
#include "platform/linux/tty/TermiosIo.h"
#include "tests/support/ClassicRate.h"

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

} // namespace
} // namespace quillon::test
