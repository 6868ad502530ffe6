// The console after Qt has set the C library's locale from the environment, once under
// a French locale compiled for the test and once under C: the log loader reads each
// locale's notation, and the port log's lines are built the same way in both.
#include "../console/ConsoleTestSupport.h"
#include "../e2e/FrenchLocale.h"
#include "app/TemperatureChart.h"
#include "platform/DeviceEnum.h"
#include "platform/virtual/VirtualSerial.h"
#include "tests/support/ScratchDir.h"

#include <QApplication>
#include <QTest>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace quillon::console::testing {
namespace {

namespace fs = std::filesystem;

bool French() {
    const char* l = std::getenv("QUILLON_LOCALE_UNDER_TEST");
    return l && std::string(l) == e2e::kFrenchLocale;
}

fs::path Scratch() {
    static const quillon_test::TScratchDir dir("quillon-locale");
    return dir.Path();
}

// A fixed moment of the afternoon (not midnight, so the time is part of the stamp).
rtl::TDateTime FixedNow() {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

/// The window as the program builds it: the regional settings come from the environment.
class LocaleConsole : public ConsoleTest {
  protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        form.reset();
        form = std::make_unique<TTestForm2>(dialogs, rtl::TFormatSettings::FromEnvironment());
        form->show();
    }
};

TEST_F(LocaleConsole, TheProcessRunsInTheLocaleUnderTest) {
    EXPECT_STREQ(std::localeconv()->decimal_point, French() ? "," : ".");
    // The trap the loader must avoid: the C library now reads numbers the French way.
    EXPECT_EQ(std::stod("23.5"), French() ? 23.0 : 23.5);
}

TEST_F(LocaleConsole, TheLoaderReadsTheLocalesNotation) {
    const fs::path path = Scratch() / "log.txt";
    std::ofstream(path, std::ios::binary) << (French() ? "12,23,5;\n" : "12,23.5;\n");
    dialogs.AnswerFile(QString::fromStdString(path.string()));
    QTest::mouseClick(ui().Button2, Qt::LeftButton);
    FinishLoad();
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_EQ(form->Chart1().Points(), QList<QPointF>({{12, 23.5}}));
    EXPECT_EQ(ui().Memo1->Text(), French() ? "23,5" : "23.5");
}

TEST(LocalePortLog, LinesAreTheStampThenTheSameTextInEveryLocale) {
    rtl::SetNowOverride(&FixedNow);
    const fs::path log = Scratch() / "port.log";
    const qvirt::TPair pair = qvirt::CreatePair("locale-a", "locale-b");
    const qwin::HANDLE peer =
        qwin::CreateFile(pair.B().DeviceName(), qwin::GENERIC_READ | qwin::GENERIC_WRITE, 0,
                         nullptr, qwin::OPEN_EXISTING, 0, 0);
    ASSERT_NE(peer, qwin::INVALID_HANDLE_VALUE);
    {
        TComPort port(nullptr);
        port.SetDeviceName(pair.A().DeviceName());
        port.SetLogFile(rtl::Utf8ToString(log.string()));
        port.Open();
        port.Write("AB", 2, false);
        port.WaitForWriteCompletion();
        qwin::DWORD done = 0;
        ASSERT_TRUE(qwin::WriteFile(peer, "xy", 2, &done, nullptr));
        char got[2];
        port.Read(got, 2, true);
        static char big[1234567];
        port.Read(big, sizeof big, false); // never completes: the close drops it
        port.Close();
    }
    qwin::CloseHandle(peer);
    rtl::SetNowOverride(nullptr);

    const std::string stamp = rtl::DateTimeToStr(FixedNow(), rtl::FormatSettings()) + " ";
    EXPECT_EQ(stamp, rtl::DateTimeToStr(FixedNow(), rtl::TFormatSettings::FromEnvironment()) + " ")
        << "the log does not follow the regional settings";
    const std::vector<std::string> texts = {
        "Open virtual:locale-a",  "Write request $41, $42", "Write complete $41, $42",
        "Read request 2 byte(s)", "Read complete $78, $79", "Read request 1234567 byte(s)",
        "Close virtual:locale-a"};
    std::vector<std::string> lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), texts.size()) << ::testing::PrintToString(lines);
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(lines[i], stamp + texts[i]);
}

} // namespace
} // namespace quillon::console::testing

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using quillon::console::testing::Scratch;
    // The locale is chosen before Qt starts, which sets the C library's from it.
    if (quillon::console::testing::French()) {
        const fs::path locales = Scratch() / "locales";
        if (const std::string why = quillon::e2e::MakeFrenchLocale(locales); !why.empty()) {
            std::cout << "skipped: " << why << "\n";
            return 77;
        }
        setenv("LOCPATH", locales.c_str(), 1);
        setenv("LC_ALL", quillon::e2e::kFrenchLocale, 1);
    } else {
        setenv("LC_ALL", "C", 1);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    fs::create_directories(Scratch() / "root");
    fs::create_directories(Scratch() / "registry");
    setenv("QUILLON_PORT_REGISTRY", (Scratch() / "registry").c_str(), 1);
    qwin::SetSystemRoot((Scratch() / "root").string());

    QApplication app(argc, argv);
    quillon::console::testing::TManualClockLoop loop;
    loop.SetManualClock(true);
    quillon::console::testing::SetLoop(&loop);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    quillon::console::testing::SetLoop(nullptr);
    return status;
}
