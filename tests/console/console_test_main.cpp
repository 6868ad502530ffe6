// The window tests run offscreen, with an empty system tree (no real serial device is
// listed) and a port registry of their own, so the device list holds only their boards.
#include "ConsoleTestSupport.h"
#include "app/PortSettingsDialog.h"
#include "platform/DeviceEnum.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    namespace fs = std::filesystem;
    std::string scratch = (fs::temp_directory_path() / "quillon-console-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;
    fs::create_directories(fs::path(scratch) / "root");
    fs::create_directories(fs::path(scratch) / "registry");
    setenv("QUILLON_PORT_REGISTRY", (fs::path(scratch) / "registry").c_str(), 1);
    qwin::SetSystemRoot((fs::path(scratch) / "root").string());

    QApplication app(argc, argv);
    quillon::console::testing::TManualClockLoop loop;
    loop.SetManualClock(true);
    quillon::console::testing::SetLoop(&loop);
    quillon::console::InstallPortSettingsDialog();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();

    qwin::SetCommConfigDialogProvider(nullptr);
    quillon::console::testing::SetLoop(nullptr);
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return status;
}
