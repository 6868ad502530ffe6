// The console's error box when the user may not open the device: a pty whose node belongs
// to the dialout group, opened by the real window in a child process that has dropped its
// privileges to nobody. Root would open any node, so the parent only prepares the node.
#include "../console/TestForm.h"
#include "app/Dialogs.h"
#include "app/QtMainLoop.h"
#include "platform/DeviceEnum.h"
#include "rtl/Application.h"
#include "rtl/Exceptions.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FdIo.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchDir.h"
#include "ui_Unit2.h"

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::console {
namespace {

class TRecordingDialogs : public IDialogs {
  public:
    void ShowBox(TBoxKind, const QString& text) override { Texts << text; }
    std::optional<QString> ChooseFileToOpen() override { return std::nullopt; }
    QStringList Texts;
};

using quillon_test::WriteAll;

std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return out;
        out.append(buf, static_cast<size_t>(n));
    }
}

// The child: drops to the user, opens device in the console's window and writes every box
// it showed to out, one per line with its line ends escaped. Never returns.
[[noreturn]] void OpenAsUser(const passwd& user, const std::string& device, int out) {
    if (setgroups(0, nullptr) != 0 || setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0) {
        WriteAll(out, std::string("cannot drop privileges: ") + std::strerror(errno));
        _exit(3);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int status = 0;
    {
        int argc = 1;
        char name[] = "permission_box_test";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        TQtMainLoop loop;
        rtl::SetMainLoop(&loop);
        TRecordingDialogs dialogs;
        {
            testing::TTestForm2 form(dialogs, rtl::TFormatSettings::FromLocale("C"));
            form.show();
            form.ComPort()->SetDeviceName(rtl::Utf8ToString(device));
            QTest::mouseClick(form.Form().SpeedButtonOpenClose, Qt::LeftButton);
            if (form.ComPort()->Active()) status = 4;
        }
        rtl::SetMainLoop(nullptr);
        std::string report;
        for (const QString& text : dialogs.Texts)
            report +=
                QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")).toStdString() + "\n";
        if (!WriteAll(out, report)) status = 5;
    }
    _exit(status);
}

TEST(PermissionBoxTest, UserOutsideTheNodesGroupReadsTheSystemsTextThenHowToJoinIt) {
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a node to another group and dropping to nobody needs root";
    const passwd* nobody = getpwnam("nobody");
    const group* dialout = getgrnam("dialout");
    if (!nobody || !dialout) GTEST_SKIP() << "no nobody user or dialout group here";
    const gid_t dialoutGid = dialout->gr_gid;
    passwd user = *nobody;
    const std::string userName = user.pw_name;

    quillon_test::TPtyPair pty;
    const std::string device = pty.SlavePath();
    ASSERT_EQ(fchown(pty.Slave(), 0, dialoutGid), 0) << std::strerror(errno);
    ASSERT_EQ(fchmod(pty.Slave(), 0660), 0) << std::strerror(errno);

    // No serial device of this machine and no registered port in the child's list.
    const quillon_test::TScratchDir scratch("quillon-permission");
    qwin::SetSystemRoot(scratch.Path());
    quillon_test::TScopedEnv registry("QUILLON_PORT_REGISTRY", scratch.Path());

    int report[2];
    ASSERT_EQ(pipe(report), 0);
    // The report is a line or two, far less than the pipe holds: the child never waits on it.
    const int status = quillon_test::RunInChild([&]() -> int {
        ::close(report[0]);
        OpenAsUser(user, device, report[1]);
    });
    ::close(report[1]);
    const std::string boxes = ReadAll(report[0]);
    ::close(report[0]);
    qwin::SetSystemRoot("/");

    ASSERT_EQ(status, 0) << boxes;
    const QStringList lines = QString::fromStdString(boxes).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << boxes;
    const QString text = QString(lines[0]).replace(QLatin1String("\\n"), QLatin1String("\n"));
    EXPECT_EQ(text.section("\n\n", 0, 0),
              QString("Error %1: %2")
                  .arg(EACCES)
                  .arg(QString::fromStdString(rtl::SysErrorMessage(EACCES))));
    const std::string advice = text.section("\n\n", 1).toStdString();
    EXPECT_NE(advice.find("« " + device + " » appartient au groupe dialout"), std::string::npos)
        << advice;
    EXPECT_NE(advice.find("L'utilisateur " + userName + " n'en fait pas partie"), std::string::npos)
        << advice;
    EXPECT_NE(advice.find("\n    sudo usermod -aG dialout " + userName + "\n"), std::string::npos)
        << advice;
    EXPECT_NE(advice.find("nouvelle session"), std::string::npos) << advice;
}

} // namespace
} // namespace quillon::console
