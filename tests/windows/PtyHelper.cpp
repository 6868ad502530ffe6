#include "PtyHelper.h"

#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace quillon::wintest {

namespace {
std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        s += b;
    }
    return s;
}
} // namespace

TPtyHelper::TPtyHelper() {
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    const char* file = std::getenv("QUILLON_PTY_HELPER");
    if (!file) return;
    // Wine maps the Linux root to drive Z:.
    std::ifstream in(std::string("Z:") + file);
    int port = 0;
    if (!(in >> port)) return;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::closesocket(s);
        return;
    }
    FSocket = s;
}

TPtyHelper::~TPtyHelper() {
    if (Connected()) ::closesocket(FSocket);
    ::WSACleanup();
}

std::string TPtyHelper::Ask(const std::string& request) {
    const std::string line = request + "\n";
    if (::send(FSocket, line.data(), static_cast<int>(line.size()), 0) !=
        static_cast<int>(line.size()))
        throw std::runtime_error("pty helper: send failed");
    for (;;) {
        const size_t end = FPending.find('\n');
        if (end != std::string::npos) {
            std::string answer = FPending.substr(0, end);
            FPending.erase(0, end + 1);
            if (answer.rfind("ERR", 0) == 0) throw std::runtime_error("pty helper: " + answer);
            return answer;
        }
        char buf[4096];
        const int n = ::recv(FSocket, buf, sizeof buf, 0);
        if (n <= 0) throw std::runtime_error("pty helper: connection lost");
        FPending.append(buf, static_cast<size_t>(n));
    }
}

std::string TPtyHelper::NewPort() {
    const std::string answer = Ask("NEW");
    const size_t space = answer.find(' ');
    FId = answer.substr(space + 1);
    return answer.substr(0, space);
}

void TPtyHelper::Send(const std::vector<uint8_t>& bytes) {
    Ask("SEND " + FId + " " + Hex(bytes));
}

std::vector<uint8_t> TPtyHelper::Receive(size_t n, int ms) {
    const std::string hex = Ask("RECV " + FId + " " + std::to_string(n) + " " + std::to_string(ms));
    std::vector<uint8_t> bytes;
    for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string TPtyHelper::Termios() {
    return Ask("TERMIOS " + FId);
}

void TPtyHelper::SetLines(int bits) {
    Ask("LINES " + FId + " " + std::to_string(bits));
}

void TPtyHelper::HangUp() {
    Ask("HANGUP " + FId);
}

} // namespace quillon::wintest
