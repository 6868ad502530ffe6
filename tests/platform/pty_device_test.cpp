// What only a pty shows: hang-up of the other end, how a system device opens, and the
// settings as the tty holds them; and whether a real port named for the contract opens.
#include "hardware_end.h"
#include "platform/linux/tty/TermiosIo.h"
#include "pty_end.h"
#include "tests/support/ClassicRate.h"
#include "uart_end.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace quillon_test {
namespace {

using PtyDevice = OnlyOn<PtyEnd>;

TEST_F(PtyDevice, HangUpFailsPendingAndLaterRequestsWithoutSpinning) {
    StartPendingRead(8);
    ev.events = 0xff; // before the wait starts: from then on the wait owns it
    StartPendingWait(EV_RXCHAR);
    end().pty.CloseMaster();
    ASSERT_TRUE(ev.Done(5000));
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &ev.ov, &done, FALSE), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ev.events, 0u);
    ASSERT_TRUE(rd.Done(5000));
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &rd.ov, &done, FALSE), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(ResetEvent(ev.ov.hEvent));
    const double before = CpuMs();
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(ReadFile(port, rd.buf, 8, &done, &rd.ov), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(WriteFile(port, "x", 1, &done, &wr.ov), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ev.Done(300));
    EXPECT_LT(CpuMs() - before, 5.0);
    EXPECT_TRUE(CloseHandle(port));
    port.Close();
}

TEST_F(PtyDevice, HangUpWhileNothingIsPendingIsSeenByTheNextWait) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    end().pty.CloseMaster();
    DWORD done = 0;
    if (WaitCommEvent(port, &ev.events, &ev.ov)) FAIL() << "events " << ev.events;
    if (GetLastError() == ERROR_IO_PENDING) {
        ASSERT_TRUE(ev.Done(5000));
        EXPECT_FALSE(GetOverlappedResult(port, &ev.ov, &done, FALSE));
    }
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(PtyDevice, OpenPutsTheTtyInRawModeAndBytesCrossUnchanged) {
    port.Close();
    termios cooked;
    tcgetattr(end().pty.Slave(), &cooked);
    cooked.c_iflag |= ICRNL | IXON | ISTRIP;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_cc[VMIN] = 1;
    tcsetattr(end().pty.Slave(), TCSANOW, &cooked);
    Handle raw(OpenPort(other->DeviceName()));
    ASSERT_TRUE(raw.Valid());
    termios t;
    tcgetattr(end().pty.Slave(), &t);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), unsigned(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    other->Feed("\r\x13\xff");
    char buf[3];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(raw, buf, 3, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "\r\x13\xff");
    ASSERT_TRUE(WriteFile(raw, "\n", 1, &got, nullptr));
    EXPECT_EQ(other->Take(1), "\n");
}

TEST_F(PtyDevice, SettingsReachTheTty) {
    // Opening keeps the rate other programs read.
    EXPECT_NE(ClassicRateOf(end().pty.Slave()).code, B0);
    // Each rate follows one of the other kind, so each row changes the kind of code written;
    // code 0: no classic code, the rate stays exact through BOTHER.
    const std::pair<DWORD, speed_t> rows[] = {{9600, B9600}, {250000, 0},       {115200, B115200},
                                              {31250, 0},    {921600, B921600}, {38400, B38400}};
    for (const auto& [rate, code] : rows) {
        DCB dcb = State();
        dcb.BaudRate = rate;
        ASSERT_TRUE(SetCommState(port, dcb));
        posix::TtyImage t;
        ASSERT_EQ(posix::ReadTty(end().pty.Slave(), t), 0);
        EXPECT_EQ(t.ospeed, rate);
        EXPECT_EQ(t.ispeed, rate);
        if (!code) continue;
        const ClassicRate seen = ClassicRateOf(end().pty.Slave());
        EXPECT_EQ(seen.code, code) << rate;
        EXPECT_EQ(seen.stty, "speed " + std::to_string(rate) + " baud");
    }
    DCB dcb = State();
    dcb.fParity = dcb.fOutxCtsFlow = 1;
    dcb.Parity = SPACEPARITY;
    dcb.ByteSize = 5;
    dcb.StopBits = ONE5STOPBITS;
    dcb.XonChar = 'Q';
    ASSERT_TRUE(SetCommState(port, dcb)) << GetLastError();
    const DCB back = State();
    EXPECT_EQ(std::memcmp(&dcb, &back, sizeof dcb), 0);
    termios t;
    tcgetattr(end().pty.Slave(), &t);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | CSTOPB), unsigned(CRTSCTS | CSTOPB));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), unsigned(INPCK));
    EXPECT_EQ(t.c_cc[VSTART], 'Q');
}

TEST_F(PtyDevice, HasNoModemLines) {
    DCB dcb = State();
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    EXPECT_TRUE(SetCommState(port, dcb)) << GetLastError();
    EXPECT_EQ(State().fDtrControl, DTR_CONTROL_DISABLE);
    // Asked for explicitly, the missing lines are an error with the system's code.
    EXPECT_FAILS_WITH(EscapeCommFunction(port, SETDTR), ENOTTY);
    EXPECT_FAILS_WITH(EscapeCommFunction(port, CLRRTS), ENOTTY);
    DWORD status = 0;
    EXPECT_FAILS_WITH(GetCommModemStatus(port, &status), ENOTTY);
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(port, prop));
    EXPECT_EQ(prop.dwProvCapabilities & (PCF_RTSCTS | PCF_RLSD | PCF_DTRDSR | PCF_SPECIALCHARS),
              0u);
    EXPECT_EQ(prop.dwMaxRxQueue, 0u);
}

// ---- how a system device opens ----

// The last error of a failed open, or 0 when it opened.
DWORD OpenError(const string& name) {
    SetLastError(0);
    Handle h(OpenPort(name));
    return h.Valid() ? 0 : GetLastError();
}

// The same in a fork child (as nobody when asked); 255 when it could not drop root.
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

TEST_F(PtyDevice, ExclusiveAcrossProcessesAndLinks) {
    EXPECT_EQ(OpenErrorInChild(other->DeviceName(), false), EBUSY);
    TempDir dir;
    std::filesystem::create_symlink(end().pty.Path(), dir.path / "port");
    EXPECT_EQ(OpenError(dir.Name("port")), DWORD(EBUSY));
    port.Close();
    EXPECT_EQ(OpenErrorInChild(other->DeviceName(), false), 0);
    // Through the link, the default configuration is the open device's, under its own name.
    Handle linked(OpenPort(dir.Name("port")));
    ASSERT_TRUE(linked.Valid());
    DCB dcb{};
    ASSERT_TRUE(GetCommState(linked, dcb));
    dcb.BaudRate = 31250;
    ASSERT_TRUE(SetCommState(linked, dcb));
    COMMCONFIG cc{};
    DWORD size = sizeof cc;
    ASSERT_TRUE(GetDefaultCommConfig(other->DeviceName(), &cc, &size));
    EXPECT_EQ(cc.dcb.BaudRate, 31250u);
}

TEST(PtyOpen, WhatIsNoOpenableTtyIsRefusedClearly) {
    TempDir dir;
    std::FILE* f = std::fopen((dir.path / "plain").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
    const struct {
        string name;
        DWORD error;
    } rows[] = {
        {u"/dev/quillon-no-such-port", ERROR_FILE_NOT_FOUND},
        {u"quillon-no-such-port", ERROR_FILE_NOT_FOUND}, // bare: under /dev
        {u"\\\\.\\quillon-no-such-port", ERROR_FILE_NOT_FOUND},
        {u"/dev/null", ENOTTY},
        {rtl::Utf8ToString(dir.path.string()), EISDIR},
        {dir.Name("plain"), ENOTTY},
        {dir.Name("fifo"), ENOTTY},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OpenError(row.name), row.error) << rtl::StringToUtf8(row.name);
    Pty pty;
    EXPECT_EQ(CreateFile(pty.Name(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         2 /* CREATE_ALWAYS */, 0, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // A name cut short by a NUL would open some other file.
    EXPECT_EQ(OpenError(pty.Name() + string(1, u'\0') + u"x"), ERROR_INVALID_PARAMETER);
}

TEST(PtyOpen, EmptyNameFailsWithoutTouchingDev) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, "/dev", IN_OPEN | IN_ACCESS), 0);
    EXPECT_EQ(OpenError(u""), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenError(u"\\\\.\\"), ERROR_FILE_NOT_FOUND);
    char buf[4096];
    EXPECT_EQ(read(watch, buf, sizeof buf), -1) << "/dev was opened";
    close(watch);
}

TEST(PtyOpen, PermissionDeniedCarriesTheSystemsCode) {
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

using UartDevice = OnlyOn<UartEnd>;

int Threads() {
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator()));
}

TEST_F(UartDevice, OneThreadSleepsInTheDriverOnlyWhileLineEventsAreAsked) {
    // A runtime may start a helper of its own with the program's first thread (ThreadSanitizer
    // does): let that happen before counting.
    std::thread([] {}).join();
    const int open = Threads();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_ERR));
    EXPECT_EQ(end().model.Sleepers(), 0);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS));
    end().model.AwaitSleepers(1);
    EXPECT_EQ(Threads(), open + 1);
    ASSERT_TRUE(SetCommMask(port, EV_RING)); // still one
    EXPECT_EQ(Threads(), open + 1);
    // A joined thread stays listed for a moment after the join returns: from here on the
    // driver's count of sleepers says that the thread is gone, the listing only that no
    // other thread took its place.
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    EXPECT_EQ(end().model.Sleepers(), 0) << "woken out of the driver and ended";
    EXPECT_LE(Threads(), open + 1);
    ASSERT_TRUE(SetCommMask(port, EV_DSR));
    end().model.AwaitSleepers(1);
    port.Close();
    EXPECT_EQ(end().model.Sleepers(), 0);
    EXPECT_LE(Threads(), open + 1);
}

TEST(RealPort, TheOneNamedOpens) {
    if (!TestPort()) {
        GTEST_SKIP() << "no real port named: set QUILLON_TEST_PORT to a port with a loopback "
                        "plug, or with QUILLON_TEST_PEER to the two ends of a null-modem cable";
    }
    Handle port(OpenPort(rtl::Utf8ToString(TestPort())));
    EXPECT_TRUE(port.Valid()) << "QUILLON_TEST_PORT: " << SysErrorMessage(GetLastError());
}

} // namespace
} // namespace quillon_test
