// quillon-console: the operator console's process entry.
#include "app/Automation.h"
#include "app/DeviceList.h"
#include "app/Dialogs.h"
#include "app/PortSettingsDialog.h"
#include "app/QtMainLoop.h"
#include "app/Startup.h"
#include "app/Unit2.h"
#include "platform/DeviceEnum.h"
#include "rtl/Application.h"
#include "ui_Unit2.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char* argv[]) {
    using namespace quillon::console;
    // The user's number notation, read from the environment before Qt switches the C
    // library to the user's locale: the log loader parses with it, never with strtod.
    const rtl::TFormatSettings formatSettings = rtl::TFormatSettings::FromEnvironment();

    QApplication app(argc, argv);
    LoadQtTranslations(app);
    QApplication::setApplicationName(QStringLiteral("quillon-console"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon"));
    // The installed desktop entry's id (a Wayland window's app id); under X11 the entry's
    // StartupWMClass names the window's class, which is the application name above.
    QApplication::setDesktopFileName(QStringLiteral("fr.quillon.Console"));

    // A recorded or test device tree (its dev/serial/by-id links) in place of the machine's.
    if (const QByteArray root = qgetenv("QUILLON_SYSTEM_ROOT"); !root.isEmpty())
        qwin::SetSystemRoot(root.toStdString());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Operator console of the instrument board."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Selects DEVICE in the port list at start-up, added when the list lacks "
                       "it; nothing is opened before Open is clicked."),
        QStringLiteral("DEVICE"));
    parser.addOption(portOption);
    parser.process(app); // a bad option: a message and status 1
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quillon-console: unexpected argument '%s' (see --help)\n",
                     qPrintable(parser.positionalArguments().first()));
        return 1;
    }

    TQtMainLoop loop;
    rtl::SetMainLoop(&loop);
    TQtDialogs qtDialogs;
    // A test's script drives the window when QUILLON_AUTOMATION names one.
    const std::unique_ptr<TAutomation> automation = TAutomation::FromEnvironment();
    IDialogs& dialogs = automation ? automation->Dialogs() : qtDialogs;
    rtl::Application().SetExceptionDisplay([&dialogs](const std::string& message) {
        dialogs.ShowBox(IDialogs::bkError, QString::fromUtf8(message));
    });
    InstallPortSettingsDialog();

    const int status = RunMainForm([&]() -> std::unique_ptr<QWidget> {
        auto form = std::make_unique<TForm2>(dialogs, formatSettings);
        // Found by its layout name, as the operator's list it is.
        auto* devices = form->findChild<QComboBox*>(QStringLiteral("ComboBoxDeviceName"));
        FitDeviceList(devices);
        if (parser.isSet(portOption)) ChooseDevice(devices, parser.value(portOption));
        if (automation) automation->Start(*form);
        return form;
    });

    qwin::SetCommConfigDialogProvider(nullptr);
    rtl::Application().SetExceptionDisplay(nullptr);
    rtl::SetMainLoop(nullptr);
    return status;
}
