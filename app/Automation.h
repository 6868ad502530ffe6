#pragma once
// A script runner for tests, on the console's main loop: it drives the real window by
// its controls' object names and reports one line per step on standard output ("ok
// <step>" or "FAIL <step>: <why>"). An expectation passes once its control shows the
// wanted state: edits, lists and memos are checked at each change, so a text shown for a
// moment counts; everything is checked again whenever the loop has handled its events.
// A step not met within its time-out fails. The runner exists only when
// QUILLON_AUTOMATION names a script; the process then ends with status 0 only if every
// step passed.
//
// Steps: select <list> <part of an item>, choose <list> <item>, click <button>,
// type <edit> <text>, expect-text <control> <text>, expect-color <shape> <#rrggbb>,
// expect-items <list or memo> <count>, expect-points <count>, expect-point <index> <x> <y>
// (the chart's series), answer-file <path> (the next file dialog), expect-box <text> (the
// next box not yet expected; boxes are answered OK), expect-box-start <text> (the same, for
// the box's first words), expect-quiet (no box for the whole of its time-out), trigger
// <action> (a menu action, by object name), grab <png> (the window drawn anew),
// grab-screen <png> (the window's pixels on the display), quit (fails if a box was shown
// that no step expected). Waiting steps take a time-out in ms as their last word.
#include "app/AutomationDialogs.h"
#include "app/AutomationScript.h"
#include "app/AutomationSteps.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <memory>

namespace quillon::console {

class TAutomation : public QObject {
  public:
    /// The automation the environment asks for, or none.
    static std::unique_ptr<TAutomation> FromEnvironment();

    explicit TAutomation(const QString& scriptPath);
    ~TAutomation() override;

    /// The boxes and file dialog the window must use while the script runs.
    IDialogs& Dialogs() { return FDialogs; }
    /// Runs the script on window once the message loop runs.
    void Start(QWidget& window);

  private:
    void StartStep();
    void HookStepControl();
    void DropStepHooks();
    void Recheck();
    void Complete();
    void TimedOut();
    void Finish(bool passed);
    static void Report(const QString& line);

    TAutomationDialogs FDialogs;
    TScript FScript;
    QString FLoadError;
    QPointer<QWidget> FWindow;
    std::size_t FNext = 0;
    bool FWaiting = false;
    bool FFinished = false;
    QString FWaitingFor;
    TStepCheck FLastCheck;
    QTimer FTimeout;
    QMetaObject::Connection FIdleHook;
    QList<QMetaObject::Connection> FStepHooks;
};

} // namespace quillon::console
