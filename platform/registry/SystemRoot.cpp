// The root of the recorded device trees that enumeration reads (Linux: sysfs and /dev).
#include "platform/DeviceEnum.h"

#include <mutex>

namespace qwin {

namespace {
std::mutex g_rootMutex;
std::string g_root = "/";
} // namespace

void SetSystemRoot(const std::string& root) {
    std::lock_guard lock(g_rootMutex);
    g_root = root.empty() ? "/" : root;
}

std::string SystemRoot() {
    std::lock_guard lock(g_rootMutex);
    return g_root;
}

} // namespace qwin
