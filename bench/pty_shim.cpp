// Lets libserialport open a pty, which it cannot do alone: a pty has no sysfs device
// node for its port lookup and no modem lines for its open-time ioctls. The program
// exports these definitions so that the library's calls resolve to them; everything
// that is not about a pty goes on to the C library unchanged.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr char kPtyClass[] = "/sys/class/tty/pts/";

bool IsPtyClassPath(const char* path) {
    return path && std::strncmp(path, kPtyClass, sizeof kPtyClass - 1) == 0;
}

// Unix 98 pty slaves have majors 136 to 143.
bool IsPty(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int __lxstat(int ver, const char* path, struct stat* buf);

int __lxstat(int ver, const char* path, struct stat* buf) {
    if (IsPtyClassPath(path)) {
        std::memset(buf, 0, sizeof *buf);
        buf->st_mode = S_IFLNK | 0777; // as sysfs shows a tty's class entry
        return 0;
    }
    static const auto real = Next<int (*)(int, const char*, struct stat*)>("__lxstat");
    return real(ver, path, buf);
}

ssize_t readlink(const char* path, char* buf, size_t size) noexcept {
    if (IsPtyClassPath(path)) {
        const int n = std::snprintf(buf, size, "../../devices/virtual/tty/pts");
        return n < 0 || static_cast<size_t>(n) >= size ? -1 : n;
    }
    static const auto real = Next<ssize_t (*)(const char*, char*, size_t)>("readlink");
    return real(path, buf, size);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    static const auto real = Next<int (*)(int, unsigned long, void*)>("ioctl");
    const int result = real(fd, request, arg);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL) || !IsPty(fd)) return result;
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(arg) = 0; // no modem lines
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
    default:
        return result;
    }
}

} // extern "C"
