#pragma once
// The console's boxes and file choice while a script drives it: a box is answered OK at
// once and recorded for the script to expect, a file dialog answers what the script said.
#include "app/Dialogs.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace quillon::console {

class TAutomationDialogs : public IDialogs {
  public:
    void ShowBox(TBoxKind kind, const QString& text) override;
    std::optional<QString> ChooseFileToOpen() override;

    /// The answer of the next file dialog; one answer per dialog.
    void AnswerFile(const QString& path) { FAnswers.push_back(path); }
    /// The oldest box the script has not expected yet, if any.
    std::optional<QString> NextBox() const;
    /// Marks the oldest box as expected.
    void TakeBox() { FBoxes.pop_front(); }

    /// Told of every box and file dialog, for the run's report.
    std::function<void(const QString&)> OnNote;

  private:
    std::deque<QString> FBoxes;
    std::deque<QString> FAnswers;
};

} // namespace quillon::console
