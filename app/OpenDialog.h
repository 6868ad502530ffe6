#pragma once
// The window's open-file dialog as a component of its stored layout.
#include "app/Dialogs.h"
#include "rtl/Component.h"

#include <QString>

namespace quillon::console {

class TOpenDialog : public rtl::TComponent {
  public:
    TOpenDialog(rtl::TComponent* AOwner, IDialogs& dialogs)
        : TComponent(AOwner), FDialogs(dialogs) {}

    /// Shows the dialog; true when a file was chosen (FileName then holds its full path).
    bool Execute() {
        auto chosen = FDialogs.ChooseFileToOpen();
        if (!chosen) return false;
        FFileName = *chosen;
        return true;
    }
    const QString& FileName() const { return FFileName; }

  private:
    IDialogs& FDialogs;
    QString FFileName;
};

} // namespace quillon::console
