#pragma once
// What a program that reads a tty's rate the classic way sees of it: stty, run on a
// descriptor the test holds, and cfgetospeed.
#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <termios.h>

namespace quillon_test {

struct ClassicRate {
    std::string stty; // "speed 115200 baud"
    speed_t code;     // B115200
};

/// Read through fd, a descriptor of the tty opened before the port took it exclusively
/// (stty -F would have to open the path again, which only root may do then).
inline ClassicRate ClassicRateOf(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) throw std::runtime_error("tcgetattr");
    const std::string cmd = "stty -a <&" + std::to_string(fd) + " 2>&1";
    std::FILE* out = popen(cmd.c_str(), "r");
    if (!out) throw std::runtime_error("cannot run stty");
    std::string text;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, out))
        text.append(buf, n);
    if (pclose(out) != 0) throw std::runtime_error("stty failed: " + text);
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("speed [0-9]+ baud")))
        throw std::runtime_error("no speed in stty's output: " + text);
    return {m.str(), cfgetospeed(&t)};
}

} // namespace quillon_test
