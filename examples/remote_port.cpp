// A port on another machine, served by a terminal server or ser2net over RFC 2217: opened
// by name like a local one, its settings sent to the server, the simulated board asked for
// a temperature, and the modem lines as the server reports them.
//   remote_port HOST:PORT
#include "comport/ComPort.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace quillon;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s HOST:PORT\n", argv[0]);
        return 2;
    }
    try {
        TComPort port(nullptr);
        // Cleartext and unauthenticated: use it on a network you trust.
        port.SetDeviceName(rtl::Utf8ToString(std::string("rfc2217://") + argv[1]));
        port.SetBaudRate(br9600); // applied on the server's serial line at Open
        port.Timeouts().SetReadConstant(2000);
        port.Open();
        port.WriteAnsiLine("w");                           // the board's request for a reading
        const AnsiString answer = port.ReadAnsiUntil('f'); // "w21.50f"
        std::printf("answer: %s\n", answer.c_str());
        const TModemStatus lines = port.ModemStatus();
        std::printf("CTS %s, DSR %s, carrier %s\n", lines.Contains(msCTS) ? "on" : "off",
                    lines.Contains(msDSR) ? "on" : "off", lines.Contains(msRLSD) ? "on" : "off");
        return 0;
    } catch (const EComError& e) {
        std::printf("error %d: %s\n", e.ErrorCode, e.what());
        return 1;
    }
}
