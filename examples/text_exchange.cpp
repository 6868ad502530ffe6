// Text reads and writes without events: sends the board's temperature request as a line,
// reads the answer line back, and shows a time-out when the board stays silent. The board
// is played by this program on the other end of a pty of its own.
#include "comport/ComPort.h"

#include <cstdio>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace {

using namespace quillon;

std::string Visible(const std::string& bytes) {
    std::string out;
    for (char c : bytes)
        out += c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

// The board's side: one line the console wrote, up to its CR.
std::string BoardReads(int master) {
    std::string line;
    char buf[256];
    while (line.empty() || line.back() != '\r') {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    return line;
}

} // namespace

int main() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    close(slave); // the port opens the device by its name

    int status = 0;
    try {
        TComPort port(nullptr);
        port.SetDeviceName(rtl::Utf8ToString(name));
        port.SetBaudRate(br9600);
        // A read that gets nothing for a second ends with an EComError, not a hang.
        port.Timeouts().SetReadConstant(1000);
        port.Open();

        port.WriteAnsiLine("w"); // "w" and CR; the write does not wait
        std::printf("board read:   %s\n", Visible(BoardReads(master)).c_str());

        const std::string answer = "w21.5f\r";
        if (write(master, answer.data(), answer.size()) < 0) std::perror("write");
        const AnsiString line = port.ReadAnsiLine(); // up to and including CR
        std::printf("console read: %s\n", Visible(line).c_str());
        if (line != answer) status = 1;

        port.WriteLineUtf8(u"température ?"); // UTF-16 text goes out as UTF-8
        std::printf("board read:   %s\n", Visible(BoardReads(master)).c_str());

        try {
            port.ReadAnsiLine(); // the board says nothing this time
            status = 1;
        } catch (const EComError& e) {
            std::printf("silent board: error %d: %s\n", e.ErrorCode, e.what());
        }
        port.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        status = 1;
    }
    close(master);
    return status;
}
