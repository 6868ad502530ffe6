#pragma once
// What each script step waits for and what it then does. A check has no side effect, so
// the runner may repeat it whenever the window's state may have changed.
#include "app/AutomationScript.h"

#include <QString>
#include <optional>

class QWidget;

namespace quillon::console {

class TAutomationDialogs;

struct TStepCheck {
    enum TState { csReady, csWaiting, csFailed };
    TState State = csReady;
    QString Why; ///< what is still awaited, or why the step failed
};

struct TStepContext {
    QWidget& Window;
    TAutomationDialogs& Dialogs;
};

/// Whether the step can be done now.
TStepCheck CheckStep(const TScriptStep& step, const TStepContext& context);
/// Does a step whose check said ready; the reason when it fails.
std::optional<QString> DoStep(const TScriptStep& step, const TStepContext& context);

} // namespace quillon::console
