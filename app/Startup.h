#pragma once
// The process entry's steps once the application object exists: the main window is created
// and shown, the message loop runs until it closes, and an exception that escapes is shown
// before the process ends with a failure status.
#include <QCoreApplication>
#include <QWidget>
#include <functional>
#include <memory>

namespace quillon::console {

using TMainFormFactory = std::function<std::unique_ptr<QWidget>()>;

/// Makes Qt's own dialogs (file chooser, standard buttons) speak the system locale's
/// language, when Qt's translations for it are installed.
void LoadQtTranslations(QCoreApplication& app);

/// Runs the console with the main window createMainForm builds; returns the exit status:
/// the message loop's, or 1 after a start-up exception has been shown.
int RunMainForm(const TMainFormFactory& createMainForm);

} // namespace quillon::console
