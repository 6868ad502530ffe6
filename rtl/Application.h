#pragma once
// The application object: exception display and the main window's message hooks.
#include "rtl/Closure.h"
#include "rtl/Exceptions.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

/// A message of the main window: its code, its two parameters and its result.
struct TMessage {
    /// The message code (WM_*).
    uint32_t Msg = 0;
    /// The first parameter.
    uintptr_t WParam = 0;
    /// The second parameter.
    intptr_t LParam = 0;
    /// What the handler answers.
    intptr_t Result = 0;
};

/// A hook sees every message of the main window first; true means handled.
using TWindowHook = Closure<bool(TMessage& Message)>;

/// The program's application object: error display and main-window hooks.
class TApplication {
  public:
    /// Shows the message of the exception being handled (call inside a catch block)
    /// unless it is the silent abort.
    void HandleException(void* Sender);
    /// Same, for a captured exception; usable from any thread: the display runs on the
    /// main thread.
    void HandleException(std::exception_ptr e);
    /// Shows e's message through the exception display.
    void ShowException(const std::exception& e);

    /// Where exception texts go; the default writes them to stderr. The console shows a box.
    using ExceptionDisplay = std::function<void(const std::string& message)>;
    /// Sets where exception texts go; none restores stderr.
    void SetExceptionDisplay(ExceptionDisplay d) { display_ = std::move(d); }

    /// Adds hook to those that see the main window's messages (once).
    void HookMainWindow(TWindowHook hook);
    /// Removes hook.
    void UnhookMainWindow(TWindowHook hook);
    /// True when hook is installed.
    bool IsHooked(const TWindowHook& hook) const;
    /// Passes a message to the hooks in order until one handles it (main thread only).
    bool DispatchMessage(TMessage& m);
    /// The main window's handle, as device registrations need one.
    uintptr_t Handle() const { return 1; }

    /// Kept for form code that sets it; no effect.
    bool MainFormOnTaskBar = true;

  private:
    ExceptionDisplay display_;
    std::vector<TWindowHook> hooks_;
};

/// The program's application object.
TApplication& Application();

} // namespace rtl
