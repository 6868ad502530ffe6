#include "platform/linux/DeviceMonitor.h"

#include "platform/DeviceNotify.h"
#include "platform/PortRegistry.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace qwin::detail {

namespace {

constexpr uint32_t DirEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                               IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t ParentEvents = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

int OpenUeventSocket() {
    const int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return -1;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1; // the kernel's own broadcasts
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::string> RegisteredPaths() {
    std::vector<std::string> paths;
    for (auto& port : ListRegisteredPorts())
        paths.push_back(std::move(port.Path));
    std::sort(paths.begin(), paths.end());
    return paths;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

bool TDeviceMonitor::Start(Sink sink, const std::string& registryDir) {
    if (Running()) return true;
    FStopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FStopFd < 0) {
        SetLastError(errno);
        return false;
    }
    FSink = std::move(sink);
    FRegistryDir = registryDir;
    while (FRegistryDir.size() > 1 && FRegistryDir.back() == '/')
        FRegistryDir.pop_back();
    FUeventFd = OpenUeventSocket();
    FInotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Watch before listing, so that nothing registered in between is missed.
    WatchRegistry();
    FKnownPorts = RegisteredPaths();
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        CloseFd(FStopFd);
        CloseFd(FUeventFd);
        CloseFd(FInotifyFd);
        SetLastError(static_cast<DWORD>(e.code().value()));
        return false;
    }
    return true;
}

void TDeviceMonitor::Stop() {
    if (!Running()) return;
    const uint64_t one = 1;
    while (::write(FStopFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    FThread.join();
    CloseFd(FStopFd);
    CloseFd(FUeventFd);
    CloseFd(FInotifyFd);
    FDirWatch = -1;
    FParentWatch = -1;
    FKnownPorts.clear();
    FSink = nullptr;
}

void TDeviceMonitor::WatchRegistry() {
    if (FInotifyFd < 0) return;
    const int dirWatch = ::inotify_add_watch(FInotifyFd, FRegistryDir.c_str(), DirEvents);
    if (dirWatch >= 0) {
        FDirWatch = dirWatch;
        if (FParentWatch >= 0) ::inotify_rm_watch(FInotifyFd, FParentWatch);
        FParentWatch = -1;
        return;
    }
    // Not there yet: programs create it with their first registration.
    FDirWatch = -1;
    const auto slash = FRegistryDir.find_last_of('/');
    if (slash == std::string::npos) return;
    const std::string parent = slash == 0 ? "/" : FRegistryDir.substr(0, slash);
    FParentWatch = ::inotify_add_watch(FInotifyFd, parent.c_str(), ParentEvents);
}

void TDeviceMonitor::Run() {
    pollfd fds[3] = {{FStopFd, POLLIN, 0}, {FUeventFd, POLLIN, 0}, {FInotifyFd, POLLIN, 0}};
    for (;;) {
        // A negative descriptor is skipped by poll.
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        try {
            if (fds[1].revents) ReadUevents();
            if (fds[2].revents) ReadRegistryEvents();
        } catch (const std::exception&) {
            // Out of memory while reporting: that change is lost, the watch goes on.
        }
    }
}

void TDeviceMonitor::ReadUevents() {
    char buffer[8192];
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t n = ::recvfrom(FUeventFd, buffer, sizeof buffer, MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (n < 0) {
            if (errno == EINTR || errno == ENOBUFS) continue; // ENOBUFS: some were lost
            return;                                           // EAGAIN: all read
        }
        // Only the kernel speaks with port id 0; a truncated message is not trusted.
        if (sender.nl_pid != 0 || static_cast<size_t>(n) > sizeof buffer) continue;
        if (auto event = ParseUevent(buffer, static_cast<size_t>(n)))
            if (auto change = DeviceChangeFromUevent(*event)) FSink(*change);
    }
}

void TDeviceMonitor::ReadRegistryEvents() {
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(FInotifyFd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len ? event->name : "";
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;
            } else if (event->wd == FParentWatch) {
                if (name == FRegistryDir.substr(FRegistryDir.find_last_of('/') + 1)) {
                    WatchRegistry();
                    changed = true;
                }
            } else if (event->wd == FDirWatch) {
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                    ::inotify_rm_watch(FInotifyFd, FDirWatch);
                    WatchRegistry();
                    changed = true;
                } else if (!name.empty() && name[0] != '.') {
                    changed = true; // staging files start with a dot
                }
            }
        }
    }
    if (changed) Rescan();
}

void TDeviceMonitor::Rescan() {
    std::vector<std::string> now = RegisteredPaths();
    std::vector<std::string> gone, added;
    std::set_difference(FKnownPorts.begin(), FKnownPorts.end(), now.begin(), now.end(),
                        std::back_inserter(gone));
    std::set_difference(now.begin(), now.end(), FKnownPorts.begin(), FKnownPorts.end(),
                        std::back_inserter(added));
    FKnownPorts = std::move(now);
    for (const auto& path : gone)
        FSink(TDeviceChange{false, DBT_DEVTYP_PORT, path});
    for (const auto& path : added)
        FSink(TDeviceChange{true, DBT_DEVTYP_PORT, path});
}

} // namespace qwin::detail
