#include "app/AutomationDialogs.h"

namespace quillon::console {

void TAutomationDialogs::ShowBox(TBoxKind kind, const QString& text) {
    FBoxes.push_back(text);
    if (OnNote)
        OnNote((kind == bkError ? QStringLiteral("error box: ") : QStringLiteral("box: ")) + text);
}

std::optional<QString> TAutomationDialogs::ChooseFileToOpen() {
    if (FAnswers.empty()) {
        // A dialog nobody scripted is cancelled, as an operator who closes it.
        if (OnNote) OnNote(QStringLiteral("file dialog cancelled"));
        return std::nullopt;
    }
    QString path = FAnswers.front();
    FAnswers.pop_front();
    if (OnNote) OnNote(QStringLiteral("file dialog: ") + path);
    return path;
}

std::optional<QString> TAutomationDialogs::NextBox() const {
    if (FBoxes.empty()) return std::nullopt;
    return FBoxes.front();
}

} // namespace quillon::console
