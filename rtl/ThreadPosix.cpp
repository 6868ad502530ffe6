// Thread priorities as nice levels: Linux keeps one per thread.
#include "rtl/ThreadOs.h"

#include <algorithm>
#include <climits>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

namespace rtl::detail {

namespace {
void* Enter(void* arg) {
    const std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
    (*fn)();
    return nullptr;
}
} // namespace

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

// A bare futex: a sleeping thread costs one call to sleep and the waker one to wake it,
// where a mutex and condition variable add a wake of the mutex after every sleep.
void WaitWord(const std::atomic<uint32_t>& word, uint32_t seen, int timeoutMs) {
    timespec limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    syscall(SYS_futex, &word, FUTEX_WAIT_PRIVATE, seen, timeoutMs < 0 ? nullptr : &limit, nullptr,
            0);
}

void WakeWord(std::atomic<uint32_t>& word, bool all) {
    syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, all ? INT_MAX : 1, nullptr, nullptr, 0);
}

struct OsThread::Impl {
    pthread_t id{};
};

OsThread::OsThread(std::function<void()> fn, size_t stackBytes) : impl_(new Impl) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Without a size of its own a thread reserves what `ulimit -s` says, 8 MiB as a rule.
    if (stackBytes)
        pthread_attr_setstacksize(&attr, std::max<size_t>(stackBytes, PTHREAD_STACK_MIN));
    auto owned = std::make_unique<std::function<void()>>(std::move(fn));
    const int err = pthread_create(&impl_->id, &attr, Enter, owned.get());
    pthread_attr_destroy(&attr);
    if (err) throw std::system_error(err, std::generic_category(), "pthread_create");
    owned.release();
}

OsThread::~OsThread() = default;

bool OsThread::IsCurrent() const {
    return pthread_equal(impl_->id, pthread_self()) != 0;
}

void OsThread::Join() {
    pthread_join(impl_->id, nullptr);
}

void OsThread::Detach() {
    pthread_detach(impl_->id);
}

int CurrentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

void SetThreadPriority(int threadId, TThreadPriority p) {
    static const int nice[] = {19, 10, 5, 0, -5, -10, -15};
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice[p]);
}

} // namespace rtl::detail
