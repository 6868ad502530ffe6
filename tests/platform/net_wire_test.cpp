// What crosses the wire, checked against the reference client: our network port and
// pyserial's RFC 2217 client, each against ser2net in front of the same pty, must put the
// same settings on the line.
#include "port_handle.h"
#include "posix_pty.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Ser2net.h"

#include <gtest/gtest.h>
#include <tuple>

namespace quillon_test {
namespace {

struct LineSettings {
    DWORD rate;
    speed_t speed; // the rate as termios holds it
    BYTE dataBits;
    char parity; // N, E or O
    int stopBits;
};

// What the pty keeps of the settings ser2net puts on it: the rate, odd parity and two stop
// bits. Linux's pty forces eight data bits and clears the parity enable whatever is set.
std::tuple<speed_t, tcflag_t, tcflag_t> OnTheLine(const Pty& pty) {
    termios t{};
    EXPECT_EQ(tcgetattr(pty.Master(), &t), 0);
    return {cfgetospeed(&t), t.c_cflag & PARODD, t.c_cflag & CSTOPB};
}

// pyserial opens the port with the settings and keeps it open until terminated (ser2net
// puts the line back as it found it when the client leaves).
const char kPyserialClient[] = R"(
import serial, signal, sys
rate, bits, parity, stop = sys.argv[2:]
port = serial.serial_for_url(sys.argv[1] + "?ign_set_control", baudrate=int(rate),
                             bytesize=int(bits), parity=parity, stopbits=int(stop))
print("OPEN", flush=True)
signal.pause()
)";

TEST(RemoteLineSettings, OursAndPyserialPutTheSameSettingsOnTheLine) {
    for (const LineSettings s :
         {LineSettings{19200, B19200, 7, 'E', 2}, LineSettings{57600, B57600, 8, 'O', 1},
          LineSettings{2400, B2400, 6, 'O', 2}}) {
        SCOPED_TRACE(std::to_string(s.rate) + " " + std::to_string(s.dataBits) + s.parity +
                     std::to_string(s.stopBits));
        Pty pty;
        TSer2net server(pty.Path());

        Handle ours(OpenPort(rtl::Utf8ToString(server.Name())));
        ASSERT_TRUE(ours.Valid());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(ours, dcb));
        dcb.BaudRate = s.rate;
        dcb.ByteSize = s.dataBits;
        dcb.Parity = s.parity == 'E' ? EVENPARITY : s.parity == 'O' ? ODDPARITY : NOPARITY;
        dcb.fParity = s.parity != 'N';
        dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        ASSERT_TRUE(SetCommState(ours, dcb));
        const auto byUs = OnTheLine(pty);
        ours.Close();

        TChildProcess pyserial({QUILLON_PYSERIAL_PYTHON, "-c", kPyserialClient, server.Name(),
                                std::to_string(s.rate), std::to_string(s.dataBits),
                                std::string(1, s.parity), std::to_string(s.stopBits)});
        const auto line = pyserial.ReadLine(TClock::now() + std::chrono::seconds(20));
        ASSERT_EQ(line.Text, "OPEN");
        const auto byPyserial = OnTheLine(pty);
        pyserial.Terminate();

        EXPECT_EQ(byUs, byPyserial);
        EXPECT_EQ(byUs, std::make_tuple(s.speed, s.parity == 'O' ? tcflag_t(PARODD) : 0,
                                        s.stopBits == 2 ? tcflag_t(CSTOPB) : 0));
    }
}

} // namespace
} // namespace quillon_test
