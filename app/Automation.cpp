#include "app/Automation.h"

#include "app/AutomationControls.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <utility>

namespace quillon::console {

std::unique_ptr<TAutomation> TAutomation::FromEnvironment() {
    const QByteArray path = qgetenv("QUILLON_AUTOMATION");
    if (path.isEmpty()) return nullptr;
    return std::make_unique<TAutomation>(QFile::decodeName(path));
}

TAutomation::TAutomation(const QString& scriptPath) {
    FDialogs.OnNote = [](const QString& note) { Report(QStringLiteral("# ") + note); };
    FTimeout.setSingleShot(true);
    connect(&FTimeout, &QTimer::timeout, this, &TAutomation::TimedOut);

    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly)) {
        FLoadError = QStringLiteral("cannot read %1: %2").arg(scriptPath, file.errorString());
        return;
    }
    auto parsed = ParseScript(QString::fromUtf8(file.readAll()));
    if (const auto* error = std::get_if<TScriptError>(&parsed))
        FLoadError = QStringLiteral("line %1: %2").arg(error->Line).arg(error->Message);
    else
        FScript = std::get<TScript>(std::move(parsed));
}

TAutomation::~TAutomation() {
    disconnect(FIdleHook);
}

void TAutomation::Start(QWidget& window) {
    FWindow = &window;
    // Whatever changes the window runs from an event; the loop announces each time it
    // has handled what was there, so a check made then sees every change.
    FIdleHook = connect(QAbstractEventDispatcher::instance(),
                        &QAbstractEventDispatcher::aboutToBlock, this, &TAutomation::Recheck);
    QMetaObject::invokeMethod(this, &TAutomation::StartStep, Qt::QueuedConnection);
}

void TAutomation::StartStep() {
    if (FFinished) return;
    if (!FLoadError.isEmpty()) {
        Report(QStringLiteral("FAIL script: ") + FLoadError);
        Finish(false);
        return;
    }
    if (FNext == FScript.size()) {
        Finish(true);
        return;
    }
    FWaiting = true;
    FWaitingFor.clear();
    FTimeout.start(FScript[FNext].TimeoutMs);
    HookStepControl();
    Recheck();
}

void TAutomation::HookStepControl() {
    const TScriptStep& step = FScript[FNext];
    if (!step.Command.startsWith(QLatin1String("expect-")) || step.Args.isEmpty() || !FWindow)
        return;
    if (QWidget* control = FindControl(*FWindow, step.Args[0]))
        FStepHooks = HookChanges(*control, *this, [this] { Recheck(); });
}

void TAutomation::DropStepHooks() {
    for (const QMetaObject::Connection& hook : std::as_const(FStepHooks))
        disconnect(hook);
    FStepHooks.clear();
}

void TAutomation::Recheck() {
    if (!FWaiting || FFinished || !FWindow) return;
    FLastCheck = CheckStep(FScript[FNext], {*FWindow, FDialogs});
    if (FLastCheck.State == TStepCheck::csWaiting) {
        FWaitingFor = FLastCheck.Why;
        return;
    }
    // The step acts outside the loop's notice and the control's signal: it may run the
    // window's handlers.
    FWaiting = false;
    DropStepHooks();
    QMetaObject::invokeMethod(this, &TAutomation::Complete, Qt::QueuedConnection);
}

void TAutomation::Complete() {
    if (FFinished) return;
    const TScriptStep& step = FScript[FNext];
    if (!FWindow) {
        Report(QStringLiteral("FAIL ") + step.Source + QStringLiteral(": the window is gone"));
        Finish(false);
        return;
    }
    const TStepContext context{*FWindow, FDialogs};
    // What a control showed, even for a moment, stays seen; an action needs its control
    // ready still.
    const bool expectation = step.Command.startsWith(QLatin1String("expect-"));
    const TStepCheck check = expectation ? FLastCheck : CheckStep(step, context);
    if (check.State == TStepCheck::csWaiting) { // changed back since the notice
        FWaiting = true;
        FWaitingFor = check.Why;
        return;
    }
    FTimeout.stop();
    const std::optional<QString> failure =
        check.State == TStepCheck::csFailed ? check.Why : DoStep(step, context);
    if (failure) {
        Report(QStringLiteral("FAIL ") + step.Source + QStringLiteral(": ") + *failure);
        Finish(false);
        return;
    }
    Report(QStringLiteral("ok ") + step.Source);
    ++FNext;
    if (step.Command == QLatin1String("quit")) {
        Finish(true);
        return;
    }
    StartStep();
}

void TAutomation::TimedOut() {
    if (!FWaiting || FFinished) return;
    const TScriptStep& step = FScript[FNext];
    if (step.Command == QLatin1String("expect-quiet")) {
        FWaiting = false;
        DropStepHooks();
        FLastCheck = {};
        Complete();
        return;
    }
    Report(
        QStringLiteral("FAIL %1: %2 after %3 ms")
            .arg(step.Source, FWaitingFor.isEmpty() ? QStringLiteral("still waiting") : FWaitingFor)
            .arg(step.TimeoutMs));
    Finish(false);
}

void TAutomation::Finish(bool passed) {
    if (!passed && FWindow) Report(QStringLiteral("# window: ") + DescribeControls(*FWindow));
    FFinished = true;
    FWaiting = false;
    FTimeout.stop();
    disconnect(FIdleHook);
    DropStepHooks();
    // The loop ends as when the window closes; the process entry then destroys it.
    QCoreApplication::exit(passed ? 0 : 1);
}

void TAutomation::Report(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace quillon::console
