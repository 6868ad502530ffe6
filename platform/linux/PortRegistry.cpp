#include "platform/PortRegistry.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace qwin {

namespace {

constexpr const char* StagingName = ".staging";

std::atomic<unsigned long> NextSequence{1};

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Creates a directory 0700 if missing and refuses one that another user owns or
// that is not a real directory: the /tmp fallback is shared with everybody.
void EnsurePrivateDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        if (errno != ENOENT) ThrowErrno(errno, "cannot create " + path);
        const auto slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) ThrowErrno(ENOENT, "cannot create " + path);
        EnsurePrivateDir(path.substr(0, slash));
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            ThrowErrno(errno, "cannot create " + path);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) ThrowErrno(errno, "cannot inspect " + path);
    if (!S_ISDIR(st.st_mode)) ThrowErrno(ENOTDIR, path + " is not a directory");
    if (st.st_uid != ::geteuid()) ThrowErrno(EACCES, path + " belongs to another user");
}

void CheckOneLine(const std::string& text, const char* what) {
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw std::invalid_argument(std::string(what) + " must be a single line");
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Parses an entry name "<pid>-<n>"; anything else is not an entry.
bool ParseEntryName(const char* name, pid_t& pid, unsigned long& sequence) {
    const std::string_view text(name);
    const auto dash = text.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == text.size()) return false;
    long long pidValue = 0;
    auto r = std::from_chars(text.data(), text.data() + dash, pidValue);
    if (r.ec != std::errc() || r.ptr != text.data() + dash || pidValue <= 0) return false;
    r = std::from_chars(text.data() + dash + 1, text.data() + text.size(), sequence);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
    pid = static_cast<pid_t>(pidValue);
    return static_cast<long long>(pid) == pidValue;
}

bool ProcessGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool ReadSmallFile(int dirFd, const char* name, std::string& content) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    content.clear();
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > 64 * 1024) { // not an entry of ours
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

// Removes staged files of processes that died between writing and renaming.
void SweepStaging(const std::string& dir) {
    const std::string staging = dir + "/" + StagingName;
    DIR* d = ::opendir(staging.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = 0;
        unsigned long sequence = 0;
        if (ParseEntryName(e->d_name, pid, sequence) && ProcessGone(pid))
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

} // namespace

std::string PortRegistryDir() {
    if (const char* explicitDir = std::getenv("QUILLON_PORT_REGISTRY"); explicitDir && *explicitDir)
        return explicitDir;
    if (const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR"); runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + "/quillon-ports";
    return "/tmp/quillon-ports-" + std::to_string(::getuid());
}

TPortRegistration::TPortRegistration(const std::string& devicePath,
                                     const std::string& friendlyName) {
    CheckOneLine(devicePath, "device path");
    CheckOneLine(friendlyName, "friendly name");
    if (devicePath.empty()) throw std::invalid_argument("device path must not be empty");

    const std::string dir = PortRegistryDir();
    EnsurePrivateDir(dir);
    const std::string staging = dir + "/" + StagingName;
    EnsurePrivateDir(staging);

    const pid_t pid = ::getpid();
    const std::string name = std::to_string(pid) + "-" + std::to_string(NextSequence.fetch_add(1));
    const std::string stagedPath = staging + "/" + name;
    const std::string entryPath = dir + "/" + name;

    // O_TRUNC: a file of that name can only be a leftover of a dead process whose pid we reuse.
    const int fd =
        ::open(stagedPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) ThrowErrno(errno, "cannot create " + stagedPath);
    const bool written = WriteAll(fd, devicePath + "\n" + friendlyName + "\n");
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int error = written ? errno : writeError;
        ::unlink(stagedPath.c_str());
        ThrowErrno(error, "cannot write " + stagedPath);
    }
    if (::rename(stagedPath.c_str(), entryPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(stagedPath.c_str());
        ThrowErrno(error, "cannot publish " + entryPath);
    }
    FEntryPath = entryPath;
    FOwnerPid = pid;
}

TPortRegistration::~TPortRegistration() {
    Release();
}

TPortRegistration::TPortRegistration(TPortRegistration&& other) noexcept
    : FEntryPath(std::exchange(other.FEntryPath, std::string())),
      FOwnerPid(std::exchange(other.FOwnerPid, 0)) {}

TPortRegistration& TPortRegistration::operator=(TPortRegistration&& other) noexcept {
    if (this != &other) {
        Release();
        FEntryPath = std::exchange(other.FEntryPath, std::string());
        FOwnerPid = std::exchange(other.FOwnerPid, 0);
    }
    return *this;
}

void TPortRegistration::Release() noexcept {
    if (FEntryPath.empty()) return;
    if (FOwnerPid == ::getpid()) ::unlink(FEntryPath.c_str());
    FEntryPath.clear();
    FOwnerPid = 0;
}

std::vector<TRegisteredPort> ListRegisteredPorts() {
    struct TFound {
        timespec Modified;
        pid_t Pid;
        unsigned long Sequence;
        TRegisteredPort Port;
    };

    const std::string dir = PortRegistryDir();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    const int dirFd = ::dirfd(d);

    std::vector<TFound> found;
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = 0;
        unsigned long sequence = 0;
        if (e->d_name[0] == '.' || !ParseEntryName(e->d_name, pid, sequence)) continue;
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (ProcessGone(pid)) {
            ::unlinkat(dirFd, e->d_name, 0);
            continue;
        }
        std::string content;
        if (!ReadSmallFile(dirFd, e->d_name, content)) continue;
        const auto firstEnd = content.find('\n');
        if (firstEnd == std::string::npos || firstEnd == 0) continue;
        TRegisteredPort port;
        port.Path = content.substr(0, firstEnd);
        auto secondEnd = content.find('\n', firstEnd + 1);
        if (secondEnd == std::string::npos) secondEnd = content.size();
        port.FriendlyName = content.substr(firstEnd + 1, secondEnd - firstEnd - 1);

        struct stat device {};
        if (::stat(port.Path.c_str(), &device) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            ::unlinkat(dirFd, e->d_name, 0);
            continue;
        }
        found.push_back({st.st_mtim, pid, sequence, std::move(port)});
    }
    ::closedir(d);
    SweepStaging(dir);

    std::sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
        return std::tie(a.Modified.tv_sec, a.Modified.tv_nsec, a.Pid, a.Sequence) <
               std::tie(b.Modified.tv_sec, b.Modified.tv_nsec, b.Pid, b.Sequence);
    });
    std::vector<TRegisteredPort> ports;
    ports.reserve(found.size());
    for (auto& f : found)
        ports.push_back(std::move(f.Port));
    return ports;
}

} // namespace qwin
