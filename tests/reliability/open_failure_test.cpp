// Names that cannot be opened, a thousand tries each: one EComError per try with the
// system's code and text, BeforeOpen each time and AfterOpen never, no descriptor kept.
#include "ProcessProbe.h"
#include "comport/ComPort.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FdIo.h"
#include "tests/support/PtyPair.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quillon::reliability {
namespace {

using ComError = rtl::Handler<void(TCustomComPort*, EComError&, TComAction&)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;

constexpr uid_t kNobody = 65534;

/// What a series of failing opens reported; plain data, so a child can send it back.
struct TTally {
    int Tries = 0;
    int Exceptions = 0;
    int Errors = 0;
    int BeforeOpen = 0;
    int AfterOpen = 0;
    int WrongCode = 0;
    int WrongText = 0;
    int FdDelta = 0;
    int LeftActive = 0;
    int LastCode = 0;
};

TTally OpenRepeatedly(const string& name, int expectedCode, int tries) {
    TTally t;
    TComPort port(nullptr);
    port.SetDeviceName(name);
    ComError error([&](TCustomComPort*, EComError&, TComAction&) { ++t.Errors; });
    OpenClose before([&](TCustomComPort*) { ++t.BeforeOpen; });
    OpenClose after([&](TCustomComPort*) { ++t.AfterOpen; });
    port.SetOnError(error);
    port.SetBeforeOpen(before);
    port.SetAfterOpen(after);
    const int fds = OpenFdCount();
    for (int i = 0; i < tries; ++i) {
        ++t.Tries;
        try {
            port.Open();
        } catch (const EComError& e) {
            ++t.Exceptions;
            t.LastCode = e.ErrorCode;
            t.WrongCode += e.ErrorCode != expectedCode;
            t.WrongText += e.what() != qwin::SysErrorMessage(qwin::DWORD(expectedCode));
        }
        t.LeftActive += port.Active();
    }
    t.FdDelta = OpenFdCount() - fds;
    return t;
}

void ExpectCleanFailures(const TTally& t, int tries) {
    EXPECT_EQ(t.Tries, tries);
    EXPECT_EQ(t.Exceptions, tries);
    EXPECT_EQ(t.Errors, tries) << "OnError once per try";
    EXPECT_EQ(t.BeforeOpen, tries);
    EXPECT_EQ(t.AfterOpen, 0);
    EXPECT_EQ(t.WrongCode, 0) << "last code " << t.LastCode;
    EXPECT_EQ(t.WrongText, 0);
    EXPECT_EQ(t.FdDelta, 0) << "descriptors kept";
    EXPECT_EQ(t.LeftActive, 0);
}

struct TCase {
    const char* Label;
    std::string Name;
    int Code;
};

class OpenFailures : public ::testing::TestWithParam<TCase> {};

TEST_P(OpenFailures, EachTryFailsOnceAndCleanly) {
    const int tries = 1000;
    ExpectCleanFailures(OpenRepeatedly(rtl::Utf8ToString(GetParam().Name), GetParam().Code, tries),
                        tries);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenFailures,
    ::testing::Values(TCase{"MissingPath", "/dev/quillon-no-such-device", ENOENT},
                      TCase{"EmptyName", "", ENOENT}, TCase{"DevNull", "/dev/null", ENOTTY},
                      TCase{"Directory", "/tmp", EISDIR},
                      TCase{"PrefixedDirectory", "\\\\.\\/tmp", EISDIR}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(OpenFailuresUnprivileged, ANodeTheUserMayNotOpen) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    quillon_test::TPtyPair pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0); // root's alone
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int tries = 1000;

    // The tally is far smaller than the pipe's buffer: the child never blocks on it.
    quillon_test::RunInChild([&] {
        TTally t;
        if (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0)
            t = OpenRepeatedly(rtl::Utf8ToString(pty.SlavePath()), EACCES, tries);
        return quillon_test::WriteAll(pipeFds[1], &t, sizeof t) ? 0 : 1;
    });
    ::close(pipeFds[1]);
    TTally t;
    const ssize_t got = ::read(pipeFds[0], &t, sizeof t);
    ::close(pipeFds[0]);
    ASSERT_EQ(got, ssize_t(sizeof t));
    ExpectCleanFailures(t, tries);
}

} // namespace
} // namespace quillon::reliability
