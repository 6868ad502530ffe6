// Draws the console window in a typical state (a board on a pseudo-terminal, a log
// plotted, a reading taken) offscreen and saves it as a PNG: console_screenshot OUT.png
#include "ConsoleTestSupport.h"
#include "platform/DeviceEnum.h"
#include "tests/support/ScratchDir.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace quillon::console;
using namespace quillon::console::testing;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: console_screenshot OUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    namespace fs = std::filesystem;
    const quillon_test::TScratchDir scratch("quillon-shot");
    fs::create_directories(scratch.PathOf("root"));
    setenv("QUILLON_PORT_REGISTRY", scratch.Path().c_str(), 1);
    qwin::SetSystemRoot(scratch.PathOf("root"));

    const QString out = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QApplication app(argc, argv);
    TManualClockLoop loop;
    SetLoop(&loop);
    int status = 1;
    {
        TPtyBoard board;
        qwin::TPortRegistration registration(board.DevicePath(), "Quillon board");
        TScriptedDialogs dialogs;
        TTestForm2 form(dialogs, rtl::TFormatSettings::FromLocale("C"));
        form.show();
        Ui::Form2& ui = form.Form();

        // A path relative to a scratch directory, so that the picture shows no machine's path.
        fs::current_path(scratch.Path());
        fs::create_directories("carte SD");
        const fs::path log = fs::path("carte SD") / "TEMP.TXT";
        {
            std::ofstream out(log);
            for (int id = 1; id <= 60; ++id)
                out << id << ',' << 21.0 + 2.5 * std::sin(id / 9.0) + (id % 7) * 0.1 << ";\n";
        }
        dialogs.AnswerFile(QString::fromStdString(log.string()));
        QTest::mouseClick(ui.Button2, Qt::LeftButton);

        QTest::mouseClick(ui.SpeedButtonOpenClose, Qt::LeftButton);
        QTest::mouseClick(ui.led1, Qt::LeftButton);
        for (const std::string chunk : {"Quillon carte v1.2\r\nok c42\r\n", "L1"}) {
            const int64_t total = form.ReadBytesTotal() + static_cast<int64_t>(chunk.size());
            board.Send(chunk);
            WaitFor([&] { return form.ReadBytesTotal() >= total; });
        }
        ui.parametre->setText("c42");
        QTest::mouseClick(ui.envoiparametre, Qt::LeftButton);

        QTest::mouseClick(ui.RadioButton6, Qt::LeftButton);
        QTest::mouseClick(ui.Button3, Qt::LeftButton);
        board.Send("w22.47f");
        WaitFor([&] { return ui.test2->text() == "Bonne valeur"; });

        if (form.grab().save(out)) status = 0;
    }
    SetLoop(nullptr);
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    return status;
}
