#include "app/ParameterHistory.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>

namespace quillon::console {

TParameterHistory::TParameterHistory(QLineEdit* field, QAbstractButton* send)
    : QObject(field), FField(field), FSend(send) {
    field->installEventFilter(this);
    connect(field, &QLineEdit::returnPressed, this, [this] {
        if (FSend->isEnabled()) FSend->click();
    });
    connect(send, &QAbstractButton::clicked, this, &TParameterHistory::Sent);
}

void TParameterHistory::Sent() {
    const QString text = FField->text();
    if (!text.isEmpty() && (FSent.isEmpty() || FSent.last() != text)) FSent.append(text);
    if (FSent.size() > Capacity) FSent.removeFirst();
    FAt = static_cast<int>(FSent.size());
}

void TParameterHistory::Recall(int step) {
    const int to = FAt + step;
    if (to < 0 || to > FSent.size()) return;
    if (FAt == FSent.size()) FTyping = FField->text();
    FAt = to;
    FField->setText(FAt == FSent.size() ? FTyping : FSent[FAt]);
}

bool TParameterHistory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Recall(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillon::console
