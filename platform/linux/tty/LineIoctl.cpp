#include "platform/linux/tty/LineIoctl.h"

#include <atomic>
#include <sys/ioctl.h>

namespace qwin::posix {

namespace {
std::atomic<TLineDriver> model{nullptr};
} // namespace

int LineIoctl(int fd, unsigned long request, void* arg) {
    if (const TLineDriver m = model.load(std::memory_order_acquire)) return m(fd, request, arg);
    return ::ioctl(fd, request, arg);
}

void SetLineDriver(TLineDriver driver) {
    model.store(driver, std::memory_order_release);
}

} // namespace qwin::posix
