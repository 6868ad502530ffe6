// The platform core: handles, events, error texts, priority classes, the default
// configuration store, the dialog provider and name spaces.
#include "platform/DeviceNames.h"
#include "platform/core/Device.h"
#include "posix_pty.h"

#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>

using namespace quillon_test;

TEST(PlatformHandles, ClosedHandleIsStale) {
    Pty pty;
    HANDLE h = OpenPort(pty.Name());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(h, dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // A new device never takes the old value.
    Handle again(OpenPort(pty.Name()));
    ASSERT_TRUE(again.Valid());
    EXPECT_NE(again.get(), h);
}

TEST(PlatformHandles, EventHandleIsNoDeviceAndDeviceIsNoEvent) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    Handle ev(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    DCB dcb{};
    EXPECT_FALSE(GetCommState(ev, dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(port));
    EXPECT_EQ(WaitForSingleObject(port, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformEvents, AutoResetIsConsumedManualResetStays) {
    Handle manual(CreateEvent(nullptr, TRUE, TRUE, nullptr));
    Handle automatic(CreateEvent(nullptr, FALSE, TRUE, nullptr));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
}

TEST(PlatformEvents, SetFromAnotherThreadWakesAnInfiniteWait) {
    Handle ev(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    std::thread setter([h = ev.get()] { SetEvent(h); });
    EXPECT_EQ(WaitForSingleObject(ev, INFINITE), WAIT_OBJECT_0);
    setter.join();
}

TEST(PlatformEvents, NamedEventsAreRefused) {
    EXPECT_EQ(CreateEvent(nullptr, TRUE, FALSE, u"shared"), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PlatformErrors, LastErrorIsPerThread) {
    SetLastError(ERROR_INVALID_HANDLE);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        SetLastError(EIO);
    });
    other.join();
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformErrors, TextsAreTheSystems) {
    EXPECT_EQ(SysErrorMessage(EBUSY), std::strerror(EBUSY));
    EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), std::strerror(ENOENT));
    EXPECT_EQ(SysErrorMessage(ERROR_ACCESS_DENIED), std::strerror(EIO));
    for (DWORD code : {ERROR_IO_PENDING, ERROR_IO_INCOMPLETE}) {
        EXPECT_FALSE(SysErrorMessage(code).empty());
        EXPECT_EQ(SysErrorMessage(code).find("Unknown"), std::string::npos);
    }
}

namespace {

int NiceOf(pid_t tid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

// Runs body in a child that has given up root, and returns its exit status; -1 when the
// child could not drop privileges (no CAP_SETUID here).
template <class F> int AsNobody(F body) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    return code == 255 ? -1 : code;
}

} // namespace

TEST(PlatformPriority, ClassReachesThreadsStartedBeforeAndReadsBack) {
    if (geteuid() != 0) GTEST_SKIP() << "raising the priority needs root";
    const int original = NiceOf(getpid());
    std::mutex mu;
    std::condition_variable cv;
    pid_t tid = 0;
    bool done = false;
    std::thread worker([&] {
        std::unique_lock lock(mu);
        tid = static_cast<pid_t>(syscall(SYS_gettid));
        cv.notify_all();
        cv.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock lock(mu);
        cv.wait(lock, [&] { return tid != 0; });
    }
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(NiceOf(tid), -10);
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), IDLE_PRIORITY_CLASS);
    EXPECT_EQ(NiceOf(tid), 19);
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), REALTIME_PRIORITY_CLASS);
    {
        std::lock_guard lock(mu);
        done = true;
    }
    cv.notify_all();
    worker.join();
    setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), original);
}

TEST(PlatformPriority, NearestClassOfAnOddNiceLevel) {
    const int original = NiceOf(getpid());
    if (original > 3) GTEST_SKIP() << "the test process runs niced beyond 3";
    // Lowering is always allowed; 3 is nearest to the normal class, 12 to idle.
    ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), 3), 0);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);
    ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), 12), 0);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), IDLE_PRIORITY_CLASS);
    if (geteuid() == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), original);
}

TEST(PlatformPriority, RefusalLeavesTheClassAndReportsTheSystemsCode) {
    auto attempt = [] {
        const DWORD before = GetPriorityClass(GetCurrentProcess());
        if (SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) return 1;
        if (GetLastError() != EACCES && GetLastError() != EPERM) return 2;
        return GetPriorityClass(GetCurrentProcess()) == before ? 0 : 3;
    };
    const int result = geteuid() == 0 ? AsNobody(attempt) : attempt();
    if (result == -1) GTEST_SKIP() << "cannot drop root privileges here";
    EXPECT_EQ(result, 0);
}

TEST(PlatformPriority, OnlyTheCurrentProcessAndKnownClasses) {
    EXPECT_EQ(GetPriorityClass(INVALID_HANDLE_VALUE), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetPriorityClass(GetCurrentProcess(), 0x4000));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PlatformNames, PrefixAndBareNames) {
    using detail::NormaliseDeviceName;
    EXPECT_EQ(NormaliseDeviceName(u"ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(NormaliseDeviceName(u"\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(NormaliseDeviceName(u"\\\\.\\/dev/ttyACM1"), "/dev/ttyACM1");
    EXPECT_EQ(NormaliseDeviceName(u"/dev/ttyACM1"), "/dev/ttyACM1");
    EXPECT_EQ(NormaliseDeviceName(u""), "");
    EXPECT_EQ(NormaliseDeviceName(u"\\\\.\\"), "");
}

TEST(PlatformNames, NamespaceOpenerGetsTheWholeName) {
    Pty pty;
    std::string seen;
    detail::RegisterNamespace(
        "qtest:", [&](const std::string& name) -> std::shared_ptr<detail::Device> {
            seen = name;
            if (name == "qtest:missing") {
                SetLastError(ENODEV);
                return nullptr;
            }
            return detail::OpenSystemDevice(pty.Path());
        });
    EXPECT_EQ(detail::NormaliseDeviceName(u"qtest:a"), "qtest:a");
    {
        Handle h(OpenPort(u"\\\\.\\qtest:a"));
        EXPECT_TRUE(h.Valid());
        EXPECT_EQ(seen, "qtest:a");
        DCB dcb{};
        EXPECT_TRUE(GetCommState(h, dcb));
    }
    EXPECT_EQ(OpenPort(u"qtest:missing"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ENODEV));
    detail::RegisterNamespace("qtest:", nullptr);
    EXPECT_EQ(detail::NormaliseDeviceName(u"qtest:a"), "/dev/qtest:a");
}

namespace {

COMMCONFIG ReadDefault(const string& name, BOOL* ok = nullptr) {
    COMMCONFIG cc{};
    DWORD size = sizeof cc;
    const BOOL r = GetDefaultCommConfig(name, &cc, &size);
    if (ok)
        *ok = r;
    else
        EXPECT_TRUE(r) << GetLastError();
    EXPECT_EQ(size, sizeof(COMMCONFIG));
    return cc;
}

} // namespace

TEST(PlatformDefaultConfig, ClosedDeviceStartsAt9600_8N1AndKeepsWhatIsSet) {
    // The store lives as long as the process and pty numbers come round again: a node
    // of its own keeps this device new to the store even when tests repeat.
    Pty pty;
    char tmpl[] = "/tmp/quillon-default-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string node = dir + "/port";
    struct stat st;
    ASSERT_EQ(stat(pty.Path().c_str(), &st), 0);
    const bool ownNode = mknod(node.c_str(), S_IFCHR | 0600, st.st_rdev) == 0;
    const string name = ownNode ? rtl::Utf8ToString(node) : pty.Name();
    const COMMCONFIG cc = ReadDefault(name);
    EXPECT_EQ(cc.dwSize, sizeof(COMMCONFIG));
    EXPECT_EQ(cc.dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(cc.dcb.BaudRate, 9600u);
    EXPECT_EQ(cc.dcb.ByteSize, 8);
    EXPECT_EQ(cc.dcb.Parity, NOPARITY);
    EXPECT_EQ(cc.dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(cc.dcb.fOutxCtsFlow || cc.dcb.fOutX || cc.dcb.fInX);
    COMMCONFIG changed = cc;
    changed.dcb.BaudRate = 57600;
    changed.dcb.Parity = EVENPARITY;
    ASSERT_TRUE(SetDefaultCommConfig(name, &changed, sizeof changed));
    // The same device by another spelling of its name.
    const COMMCONFIG back = ReadDefault(u"\\\\.\\" + name);
    EXPECT_EQ(back.dcb.BaudRate, 57600u);
    EXPECT_EQ(back.dcb.Parity, EVENPARITY);
    unlink(node.c_str());
    rmdir(dir.c_str());
}

TEST(PlatformDefaultConfig, ClosedDeviceIsNeverOpened) {
    Pty pty;
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, pty.Path().c_str(), IN_OPEN), 0);
    char buf[4096];
    COMMCONFIG cc = ReadDefault(pty.Name());
    ASSERT_TRUE(SetDefaultCommConfig(pty.Name(), &cc, sizeof cc));
    EXPECT_EQ(read(watch, buf, sizeof buf), -1) << "the device node was opened";
    {
        Handle port(OpenPort(pty.Name())); // the watch does see an open
        ASSERT_TRUE(port.Valid());
        EXPECT_GT(read(watch, buf, sizeof buf), 0);
        // While open, the default is the device's own state, not the store's.
        DCB dcb{};
        ASSERT_TRUE(GetCommState(port, dcb));
        dcb.BaudRate = 250000;
        ASSERT_TRUE(SetCommState(port, dcb));
        EXPECT_EQ(ReadDefault(pty.Name()).dcb.BaudRate, 250000u);
        EXPECT_EQ(read(watch, buf, sizeof buf), -1);
    }
    close(watch);
}

TEST(PlatformDefaultConfig, OpenDeviceIsWrittenThroughItsHandle) {
    Pty pty;
    Handle port(OpenPort(pty.Name()));
    COMMCONFIG cc = ReadDefault(pty.Name());
    cc.dcb.BaudRate = 31250;
    ASSERT_TRUE(SetDefaultCommConfig(pty.Name(), &cc, sizeof cc));
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, dcb));
    EXPECT_EQ(dcb.BaudRate, 31250u);
    cc.dcb.ByteSize = 9; // the device refuses it, and so does the store
    EXPECT_FALSE(SetDefaultCommConfig(pty.Name(), &cc, sizeof cc));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    port.Close();
    EXPECT_EQ(ReadDefault(pty.Name()).dcb.BaudRate, 31250u);
}

TEST(PlatformDefaultConfig, BadArgumentsAndMissingDevices) {
    COMMCONFIG cc{};
    DWORD size = 10;
    EXPECT_FALSE(GetDefaultCommConfig(u"/dev/null", &cc, &size));
    EXPECT_EQ(GetLastError(), DWORD(ERANGE));
    EXPECT_EQ(size, sizeof(COMMCONFIG));
    BOOL ok = TRUE;
    ReadDefault(u"/dev/quillon-no-such-port", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ReadDefault(u"", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ReadDefault(u"/", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), DWORD(EISDIR));
    ReadDefault(u"/proc/self/status", &ok); // a file, not a device
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), DWORD(ENOTTY));
    Pty pty;
    cc = ReadDefault(pty.Name());
    cc.dcb.ByteSize = 4;
    EXPECT_FALSE(SetDefaultCommConfig(pty.Name(), &cc, sizeof cc));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadDefault(pty.Name()).dcb.ByteSize, 8); // nothing stored
    EXPECT_FALSE(SetDefaultCommConfig(pty.Name(), &cc, 20));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PlatformDialog, WithoutProviderNothingChanges) {
    SetCommConfigDialogProvider(nullptr);
    COMMCONFIG cc{};
    cc.dcb.BaudRate = 1200;
    EXPECT_FALSE(CommConfigDialog(u"ttyS0", 0, &cc));
    EXPECT_EQ(GetLastError(), DWORD(ENOTSUP));
    EXPECT_EQ(cc.dcb.BaudRate, 1200u);
}

TEST(PlatformDialog, ConfirmedEditsReachTheCallerCancelledOnesDoNot) {
    string shownFor;
    bool confirm = true;
    SetCommConfigDialogProvider([&](const string& name, COMMCONFIG& cc) {
        shownFor = name;
        cc.dcb.BaudRate = 115200;
        return confirm;
    });
    COMMCONFIG cc{};
    cc.dcb.BaudRate = 1200;
    EXPECT_TRUE(CommConfigDialog(u"ttyUSB0", 0, &cc));
    EXPECT_EQ(shownFor, u"ttyUSB0");
    EXPECT_EQ(cc.dcb.BaudRate, 115200u);
    confirm = false;
    cc.dcb.BaudRate = 1200;
    EXPECT_FALSE(CommConfigDialog(u"ttyUSB0", 0, &cc));
    EXPECT_EQ(cc.dcb.BaudRate, 1200u);
    SetCommConfigDialogProvider(nullptr);
}
