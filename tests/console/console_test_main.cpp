// The window tests run offscreen, with an empty system tree (no real serial device is
// listed) and a port registry of their own, so the device list holds only their boards.
#include "ConsoleTestSupport.h"
#include "app/PortSettingsDialog.h"
#include "platform/DeviceEnum.h"
#include "tests/support/ScratchDir.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const quillon_test::TScratchDir scratch("quillon-console");
    std::filesystem::create_directories(scratch.PathOf("root"));
    std::filesystem::create_directories(scratch.PathOf("registry"));
    setenv("QUILLON_PORT_REGISTRY", scratch.PathOf("registry").c_str(), 1);
    qwin::SetSystemRoot(scratch.PathOf("root"));

    QApplication app(argc, argv);
    quillon::console::testing::TManualClockLoop loop;
    loop.SetManualClock(true);
    quillon::console::testing::SetLoop(&loop);
    quillon::console::InstallPortSettingsDialog();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();

    qwin::SetCommConfigDialogProvider(nullptr);
    quillon::console::testing::SetLoop(nullptr);
    return status;
}
