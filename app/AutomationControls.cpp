#include "app/AutomationControls.h"

#include "app/Shape.h"
#include "app/TerminalView.h"

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QXYSeries>

namespace quillon::console {

QWidget* FindControl(const QWidget& window, const QString& name) {
    if (window.objectName() == name) return const_cast<QWidget*>(&window);
    return window.findChild<QWidget*>(name);
}

std::optional<QString> ControlText(const QWidget& control) {
    if (auto* w = qobject_cast<const QLineEdit*>(&control)) return w->text();
    if (auto* w = qobject_cast<const QAbstractButton*>(&control)) return w->text();
    if (auto* w = qobject_cast<const QLabel*>(&control)) return w->text();
    if (auto* w = qobject_cast<const QComboBox*>(&control)) return w->currentText();
    if (auto* w = qobject_cast<const TTerminalView*>(&control)) return w->Text();
    return std::nullopt;
}

std::optional<int> ControlItemCount(const QWidget& control) {
    if (auto* w = qobject_cast<const QComboBox*>(&control)) return w->count();
    if (auto* w = qobject_cast<const TTerminalView*>(&control))
        return w->IsEmpty() ? 0 : w->LineCount();
    return std::nullopt;
}

std::optional<QColor> ControlColor(const QWidget& control) {
    if (auto* w = qobject_cast<const TShape*>(&control)) return w->BrushColor();
    return std::nullopt;
}

QXYSeries* ChartSeries(const QWidget& window) {
    for (QChartView* view : window.findChildren<QChartView*>()) {
        if (!view->chart()) continue;
        // The chart's data series, when it draws a curve of it.
        if (auto* data = view->chart()->findChild<QXYSeries*>(QStringLiteral("Series1")))
            return data;
        for (QAbstractSeries* series : view->chart()->series())
            if (auto* xy = qobject_cast<QXYSeries*>(series)) return xy;
    }
    return nullptr;
}

QList<QMetaObject::Connection> HookChanges(QWidget& control, QObject& context,
                                           const std::function<void()>& changed) {
    QList<QMetaObject::Connection> hooks;
    if (auto* w = qobject_cast<QLineEdit*>(&control))
        hooks.append(QObject::connect(w, &QLineEdit::textChanged, &context, changed));
    if (auto* w = qobject_cast<QComboBox*>(&control)) {
        hooks.append(QObject::connect(w, &QComboBox::currentTextChanged, &context, changed));
        hooks.append(
            QObject::connect(w->model(), &QAbstractItemModel::rowsInserted, &context, changed));
        hooks.append(
            QObject::connect(w->model(), &QAbstractItemModel::rowsRemoved, &context, changed));
    }
    if (auto* w = qobject_cast<TTerminalView*>(&control))
        hooks.append(QObject::connect(w, &TTerminalView::Changed, &context, changed));
    return hooks;
}

QString DescribeControls(const QWidget& window) {
    QStringList parts;
    auto describe = [&parts](const QWidget* w) {
        if (const auto text = ControlText(*w); text && !w->objectName().isEmpty())
            parts.append(QStringLiteral("%1=\"%2\"").arg(w->objectName(), *text));
    };
    for (const QLineEdit* w : window.findChildren<QLineEdit*>())
        if (!qobject_cast<const QComboBox*>(w->parent())) describe(w);
    for (const TTerminalView* w : window.findChildren<TTerminalView*>())
        if (w->LineCount() < 100) describe(w);
    for (const QStatusBar* bar : window.findChildren<QStatusBar*>())
        for (const QLabel* w : bar->findChildren<QLabel*>())
            describe(w);
    return parts.join(QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

bool Operable(const QWidget& control) {
    return control.isVisible() && control.isEnabled();
}

void ChooseItem(QComboBox& combo, int index) {
    combo.setCurrentIndex(index);
    emit combo.activated(index);
    emit combo.textActivated(combo.itemText(index));
}

bool TypeText(QWidget& control, const QString& text) {
    if (auto* w = qobject_cast<QLineEdit*>(&control)) {
        w->setFocus();
        w->selectAll();
        w->insert(text); // emits textEdited, as keystrokes do
        return true;
    }
    return false;
}

} // namespace quillon::console
