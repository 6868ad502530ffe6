#pragma once
// The console's modal boxes and its file choice, behind one small interface: the window
// uses the Qt ones, tests a scripted one that records every box and answers the dialog.
#include <QString>
#include <optional>

namespace quillon::console {

class IDialogs {
  public:
    enum TBoxKind { bkMessage, bkError };

    virtual ~IDialogs() = default;
    /// Shows text in a modal box with an OK button; returns once the operator closed it.
    virtual void ShowBox(TBoxKind kind, const QString& text) = 0;
    /// Asks for a file to open; the full path, or nothing when the operator cancels.
    virtual std::optional<QString> ChooseFileToOpen() = 0;
    /// Asks for a file to write; the full path, or nothing when the operator cancels (so
    /// does a provider without a chooser).
    virtual std::optional<QString> ChooseFileToSave() { return std::nullopt; }
};

/// The real boxes: QMessageBox and QFileDialog, parented to the active window.
class TQtDialogs : public IDialogs {
  public:
    void ShowBox(TBoxKind kind, const QString& text) override;
    std::optional<QString> ChooseFileToOpen() override;
    std::optional<QString> ChooseFileToSave() override;
};

} // namespace quillon::console
