// A request line sent to a named port and its answer line read back, or the time-out that
// ends a silent wait. The same program on Linux (/dev/ttyUSB0) and Windows (COM3):
//   port_request PORT [REQUEST]
#include "comport/ComPort.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace quillon;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT [REQUEST]\n", argv[0]);
        return 2;
    }
    try {
        TComPort port(nullptr);
        port.SetDeviceName(rtl::Utf8ToString(argv[1]));
        port.SetBaudRate(br9600);
        port.Timeouts().SetReadConstant(2000); // a silent device ends the read, not the program
        port.Open();
        port.WriteAnsiLine(argc > 2 ? argv[2] : "w"); // the request and CR
        std::string line = port.ReadAnsiLine();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::printf("answer: %s\n", line.c_str());
        return 0;
    } catch (const EComError& e) {
        std::printf("error %d: %s\n", e.ErrorCode, e.what());
        return 1;
    }
}
