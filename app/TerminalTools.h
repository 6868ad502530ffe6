#pragma once
// The terminal's tools, in its context menu: a hex view of what it received, and "Enregistrer
// sous…" (Ctrl+S anywhere in the window), which saves the received bytes exactly. Both work
// on the bytes the terminal has shown since it was last cleared.
#include "app/Dialogs.h"

#include <QObject>
#include <string>
#include <string_view>

class QAction;
class QWidget;

namespace quillon::console {

class TTerminalView;

class TTerminalTools : public QObject {
  public:
    /// Adds the tools to view's context menu and the save shortcut to window.
    TTerminalTools(TTerminalView* view, QWidget* window, IDialogs& dialogs);

    /// Shows a received chunk, as text or in hex.
    void Received(std::string_view chunk);
    void Clear();

  private:
    void ShowAll();
    void Save();

    TTerminalView* FView;
    IDialogs& FDialogs;
    std::string FBytes;
    QAction* FHex;
};

} // namespace quillon::console
