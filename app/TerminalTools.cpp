#include "app/TerminalTools.h"

#include "app/CodePage.h"
#include "app/HexDump.h"
#include "app/TerminalView.h"

#include <QAction>
#include <QSaveFile>

namespace quillon::console {

TTerminalTools::TTerminalTools(TTerminalView* view, QWidget* window, IDialogs& dialogs)
    : QObject(view), FView(view), FDialogs(dialogs) {
    FHex = new QAction(QStringLiteral("Affichage hexadécimal"), this);
    FHex->setCheckable(true);
    connect(FHex, &QAction::toggled, this, [this] { ShowAll(); });
    auto* save = new QAction(QStringLiteral("Enregistrer sous…"), this);
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] { Save(); });
    view->addAction(FHex);
    view->addAction(save);
    window->addAction(save); // the pane is disabled while the port is closed
}

void TTerminalTools::Received(std::string_view chunk) {
    const std::size_t before = FBytes.size();
    FBytes += chunk;
    if (!FHex->isChecked()) {
        FView->AppendText(TextOfBytes(chunk));
        return;
    }
    // The last row grows in place until it holds its sixteen bytes.
    std::size_t row = before - before % HexRowBytes;
    if (row < before) {
        FView->RewriteLastLine(
            TextOfBytes(HexRow(std::string_view(FBytes).substr(row, HexRowBytes), row)));
        row += HexRowBytes;
    }
    std::string more;
    for (; row < FBytes.size(); row += HexRowBytes) {
        if (row > 0) more += '\n';
        more += HexRow(std::string_view(FBytes).substr(row, HexRowBytes), row);
    }
    if (!more.empty()) FView->AppendText(TextOfBytes(more));
}

void TTerminalTools::Clear() {
    FBytes.clear();
    FView->Clear();
}

void TTerminalTools::ShowAll() {
    FView->Clear();
    const std::string bytes = std::exchange(FBytes, {});
    Received(bytes);
}

void TTerminalTools::Save() {
    const std::optional<QString> path = FDialogs.ChooseFileToSave();
    if (!path) return;
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(FBytes.data(), static_cast<qint64>(FBytes.size())) !=
            static_cast<qint64>(FBytes.size()) ||
        !file.commit())
        FDialogs.ShowBox(IDialogs::bkError,
                         QStringLiteral("Le fichier ne peut être enregistré : ") +
                             file.errorString());
}

} // namespace quillon::console
