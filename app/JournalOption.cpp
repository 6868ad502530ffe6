#include "app/JournalOption.h"

#include <QAction>
#include <QFile>
#include <QSignalBlocker>
#include <QWidget>
#include <ctime>

namespace quillon::console {

TJournalOption::TJournalOption(QWidget* pane, IDialogs& dialogs)
    : QObject(pane), FDialogs(dialogs) {
    FAction = new QAction(QStringLiteral("Journal des mesures…"), this);
    FAction->setCheckable(true);
    connect(FAction, &QAction::toggled, this, &TJournalOption::Toggled);
    pane->addAction(FAction);
}

void TJournalOption::Toggled(bool on) {
    if (!on) {
        FJournal.Close();
        return;
    }
    const std::optional<QString> path = FDialogs.ChooseFileToSave();
    const std::string why = path ? FJournal.Open(QFile::encodeName(*path).toStdString()) : "";
    if (!path || !why.empty()) Stop(QString::fromStdString(why));
}

void TJournalOption::Judged(const std::string& reading, int errors) {
    if (!FJournal.IsOpen()) return;
    const std::string why = FJournal.Append(reading, JournalVerdict(errors), std::time(nullptr));
    if (!why.empty()) Stop(QString::fromStdString(why));
}

void TJournalOption::Stop(const QString& why) {
    FJournal.Close();
    {
        const QSignalBlocker quiet(FAction);
        FAction->setChecked(false);
    }
    if (!why.isEmpty())
        FDialogs.ShowBox(IDialogs::bkError,
                         QStringLiteral("Le journal des mesures ne peut être écrit : ") + why);
}

} // namespace quillon::console
