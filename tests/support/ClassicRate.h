#pragma once
// What a program that reads a tty's rate the classic way sees of it: stty, run on a
// descriptor the test holds, and cfgetospeed.
#include <cstdio>
#include <fcntl.h>
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
    // The shell must inherit fd, even one opened close-on-exec.
    const int flags = fcntl(fd, F_GETFD);
    fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC);
    std::FILE* out = popen(cmd.c_str(), "r");
    fcntl(fd, F_SETFD, flags);
    if (!out) throw std::runtime_error("cannot run stty");
    std::string text;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, out))
        text.append(buf, n);
    if (pclose(out) != 0) throw std::runtime_error("stty failed: " + text);
    // "speed 115200 baud;" opens stty's report.
    const auto at = text.find("speed ");
    const auto end = at == std::string::npos ? at : text.find(" baud", at);
    if (end == std::string::npos) throw std::runtime_error("no speed in stty's output: " + text);
    return {text.substr(at, end + 5 - at), cfgetospeed(&t)};
}

} // namespace quillon_test
