// Opens a pty at 115200 8N1 with a port log, shows the line settings the kernel now holds,
// closes the port and shows that the log holds exactly its "Open " and "Close " lines.
#include "comport/ComPort.h"
#include "kernel_line.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon;

// What the kernel holds for the line, read through the program's own slave descriptor,
// which it opened before the port took the device for itself. True for 115200 8N1 raw.
bool ShowLine(int slave) {
    TKernelLine line;
    if (!ReadKernelLine(slave, line)) {
        std::perror("TCGETS2");
        return false;
    }
    std::printf("kernel: %lu baud, %d data bits, parity %c, %d stop bit(s), %s\n", line.Speed,
                line.DataBits, line.Parity, line.StopBits, line.Raw ? "raw" : "line mode");
    return line.Speed == 115200 && line.DataBits == 8 && line.Parity == 'N' && line.StopBits == 1 &&
           line.Raw;
}

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int main() {
    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    std::string dir = (std::filesystem::temp_directory_path() / "open-pty-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string logPath = dir + "/port.log";

    int status = 0;
    try {
        TComPort port(nullptr);
        port.SetDeviceName(rtl::Utf8ToString(name));
        port.SetBaudRate(br115200);
        port.SetDataBits(db8);
        port.SetParity(paNone);
        port.SetStopBits(sb1);
        port.SetLogFile(rtl::Utf8ToString(logPath));
        port.Open();
        std::printf("opened %s\n", name);
        if (!ShowLine(slave)) {
            std::fprintf(stderr, "the kernel does not hold 115200 8N1\n");
            status = 1;
        }
        port.Close();
        std::printf("closed\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        status = 1;
    }

    const std::vector<std::string> log = Lines(logPath);
    std::printf("log (%zu lines):\n", log.size());
    for (const std::string& line : log)
        std::printf("  %s\n", line.c_str());
    const bool expected = log.size() == 2 && EndsWith(log[0], std::string(" Open ") + name) &&
                          EndsWith(log[1], std::string(" Close ") + name);
    if (!expected) {
        std::fprintf(stderr, "the log does not hold exactly the open and close lines\n");
        status = 1;
    }

    std::filesystem::remove_all(dir);
    close(slave);
    close(master);
    return status;
}
