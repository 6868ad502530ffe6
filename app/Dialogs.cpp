#include "app/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace quillon::console {

void TQtDialogs::ShowBox(TBoxKind kind, const QString& text) {
    QMessageBox box(kind == bkError ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

std::optional<QString> TQtDialogs::ChooseFileToOpen() {
    // No filter and no title, like the stored dialog: the loader checks the extension.
    const QString name = QFileDialog::getOpenFileName(QApplication::activeWindow());
    if (name.isEmpty()) return std::nullopt;
    return name;
}

std::optional<QString> TQtDialogs::ChooseFileToSave() {
    const QString name = QFileDialog::getSaveFileName(QApplication::activeWindow());
    if (name.isEmpty()) return std::nullopt;
    return name;
}

} // namespace quillon::console
