#pragma once
// The "Journal des mesures…" option in Memo1's context menu: off by default; turned on, it
// asks for a CSV file and appends every judged reading to it until turned off. A write that
// fails is shown once and turns the option off.
#include "app/Dialogs.h"
#include "app/MeasureJournal.h"

#include <QObject>
#include <string>

class QAction;
class QWidget;

namespace quillon::console {

class TJournalOption : public QObject {
  public:
    TJournalOption(QWidget* pane, IDialogs& dialogs);

    /// A finished reading: good (errors 0) or the errors' count.
    void Judged(const std::string& reading, int errors);

  private:
    void Toggled(bool on);
    void Stop(const QString& why);

    IDialogs& FDialogs;
    TMeasureJournal FJournal;
    QAction* FAction;
};

} // namespace quillon::console
