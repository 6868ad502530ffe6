// Opening devices: names, exclusivity and every way an open can fail.
#include "posix_pty.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace quillon_test;

namespace {

// The last error of a failed open, or 0 when it opened.
DWORD OpenError(const string& name) {
    SetLastError(0);
    HANDLE h = OpenPort(name);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return 0;
    }
    return GetLastError();
}

// A fork child's attempt; its exit status carries the last error.
int OpenErrorInChild(const string& name, bool asNobody) {
    const pid_t child = fork();
    if (child == 0) {
        if (asNobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(255);
        _exit(static_cast<int>(OpenError(name)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/quillon-open-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    string Name(const char* leaf) const { return rtl::Utf8ToString((path / leaf).string()); }
};

} // namespace

TEST(PosixOpen, OpensPtyByPathAndByPrefixedPath) {
    Pty pty;
    EXPECT_EQ(OpenError(pty.Name()), 0u);
    EXPECT_EQ(OpenError(u"\\\\.\\" + pty.Name()), 0u);
}

TEST(PosixOpen, SymlinkReachesTheSameDevice) {
    Pty pty;
    TempDir dir;
    std::filesystem::create_symlink(pty.Path(), dir.path / "port");
    Handle first(OpenPort(dir.Name("port")));
    ASSERT_TRUE(first.Valid());
    EXPECT_EQ(OpenError(pty.Name()), DWORD(EBUSY));
    // Its default configuration is found under the target's name too: the open device's.
    DCB dcb{};
    ASSERT_TRUE(GetCommState(first, dcb));
    dcb.BaudRate = 31250;
    ASSERT_TRUE(SetCommState(first, dcb));
    COMMCONFIG cc{};
    DWORD size = sizeof cc;
    ASSERT_TRUE(GetDefaultCommConfig(pty.Name(), &cc, &size));
    EXPECT_EQ(cc.dcb.BaudRate, 31250u);
}

TEST(PosixOpen, SecondOpenInThisProcessIsBusy) {
    Pty pty;
    Handle first(OpenPort(pty.Name()));
    ASSERT_TRUE(first.Valid()) << SysErrorMessage(GetLastError());
    EXPECT_EQ(OpenError(pty.Name()), DWORD(EBUSY));
    EXPECT_EQ(SysErrorMessage(EBUSY), std::strerror(EBUSY));
    first.Close();
    EXPECT_EQ(OpenError(pty.Name()), 0u); // released on close
}

TEST(PosixOpen, OpenFromAnotherProcessIsBusy) {
    Pty pty;
    Handle first(OpenPort(pty.Name()));
    ASSERT_TRUE(first.Valid());
    EXPECT_EQ(OpenErrorInChild(pty.Name(), false), EBUSY);
    first.Close();
    EXPECT_EQ(OpenErrorInChild(pty.Name(), false), 0);
}

TEST(PosixOpen, MissingDeviceIsFileNotFound) {
    EXPECT_EQ(OpenError(u"/dev/quillon-no-such-port"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), std::strerror(ENOENT));
    EXPECT_EQ(OpenError(u"quillon-no-such-port"), ERROR_FILE_NOT_FOUND); // bare: under /dev
    EXPECT_EQ(OpenError(u"\\\\.\\quillon-no-such-port"), ERROR_FILE_NOT_FOUND);
}

TEST(PosixOpen, EmptyNameFailsWithoutTouchingDev) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, "/dev", IN_OPEN | IN_ACCESS), 0);
    EXPECT_EQ(OpenError(u""), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenError(u"\\\\.\\"), ERROR_FILE_NOT_FOUND);
    char buf[4096];
    EXPECT_EQ(read(watch, buf, sizeof buf), -1) << "/dev was opened";
    close(watch);
}

TEST(PosixOpen, NonTtysAreRefusedClearly) {
    EXPECT_EQ(OpenError(u"/dev/null"), DWORD(ENOTTY));
    TempDir dir;
    EXPECT_EQ(OpenError(rtl::Utf8ToString(dir.path.string())), DWORD(EISDIR));
    std::FILE* f = std::fopen((dir.path / "plain").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(OpenError(dir.Name("plain")), DWORD(ENOTTY));
    ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(OpenError(dir.Name("fifo")), DWORD(ENOTTY));
}

TEST(PosixOpen, PermissionDeniedCarriesTheSystemsCode) {
    Pty pty;
    int code;
    if (geteuid() == 0) {
        // root opens anything: try as nobody, to whom a pty slave (mode 620) is closed.
        code = OpenErrorInChild(pty.Name(), true);
        if (code == 255) GTEST_SKIP() << "cannot drop root privileges here";
    } else {
        ASSERT_EQ(chmod(pty.Path().c_str(), 0), 0);
        code = static_cast<int>(OpenError(pty.Name()));
    }
    EXPECT_EQ(code, EACCES);
}

TEST(PosixOpen, OnlyOpenExistingMakesSense) {
    Pty pty;
    EXPECT_EQ(CreateFile(pty.Name(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         2 /* CREATE_ALWAYS */, 0, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // A name cut short by a NUL would open some other file.
    EXPECT_EQ(OpenError(pty.Name() + string(1, u'\0') + u"x"), ERROR_INVALID_PARAMETER);
}

TEST(PosixOpen, OpenPutsTheTtyInRawMode) {
    Pty pty;
    termios cooked;
    tcgetattr(pty.Slave(), &cooked);
    cooked.c_iflag |= ICRNL | IXON | ISTRIP;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_cc[VMIN] = 1;
    tcsetattr(pty.Slave(), TCSANOW, &cooked);
    Handle port(OpenPort(pty.Name()));
    ASSERT_TRUE(port.Valid());
    termios t;
    tcgetattr(pty.Slave(), &t);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), unsigned(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    // Bytes cross unchanged: CR stays CR, a newline gains no CR.
    pty.Feed("\r\x13\xff");
    char buf[3];
    DWORD got = 0;
    COMMTIMEOUTS all{};
    ASSERT_TRUE(SetCommTimeouts(port, all));
    ASSERT_TRUE(ReadFile(port, buf, 3, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "\r\x13\xff");
    ASSERT_TRUE(WriteFile(port, "\n", 1, &got, nullptr));
    EXPECT_EQ(pty.Drain(1), "\n");
}
