#include "tests/support/Ser2net.h"

#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon_test {

int FreeLocalPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free local port");
    close(s);
    return ntohs(a.sin_port);
}

TSer2net::TSer2net(const std::string& device) : FPort(FreeLocalPort()) {
    const std::string config = FDir.PathOf("ser2net.yaml"), pid = FDir.PathOf("pid");
    std::ofstream(config) << "connection: &port\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << FPort << "\n"
                          << "  connector: serialdev," << device << ",115200n81,local\n";
    // ser2net writes its pid file once it listens: the file's close is the signal.
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, FDir.Path().c_str(), IN_CLOSE_WRITE);
    FServer = std::make_unique<TChildProcess>(
        std::vector<std::string>{"ser2net", "-n", "-u", "-P", pid, "-c", config});
    pollfd p{watch, POLLIN, 0};
    const bool ready = poll(&p, 1, 10000) == 1;
    close(watch);
    if (!ready) throw std::runtime_error("ser2net did not start listening");
}

std::string TSer2net::Name() const {
    return "rfc2217://127.0.0.1:" + std::to_string(FPort);
}

} // namespace quillon_test
