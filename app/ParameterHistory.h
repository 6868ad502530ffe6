#pragma once
// The "paramètre" field as a command line: Enter sends it as its button does, and Up and
// Down recall the last texts sent (the newest first), back to the text being typed.
#include <QObject>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QLineEdit;

namespace quillon::console {

class TParameterHistory : public QObject {
  public:
    static constexpr int Capacity = 20;

    /// Watches field and the button that sends it.
    TParameterHistory(QLineEdit* field, QAbstractButton* send);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Sent();
    void Recall(int step);

    QLineEdit* FField;
    QAbstractButton* FSend;
    QStringList FSent; // oldest first
    int FAt = 0;       // the entry shown; FSent.size() is the text being typed
    QString FTyping;
};

} // namespace quillon::console
