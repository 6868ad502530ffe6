#pragma once
// What a script reads from and does to the window's controls, found by object name.
#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QWidget;
class QXYSeries;

namespace quillon::console {

/// The control of that object name inside window, or null.
QWidget* FindControl(const QWidget& window, const QString& name);

/// The text the control shows: an edit's, a label's or button's caption, a combo box's
/// current text, a memo's or the terminal's whole text.
std::optional<QString> ControlText(const QWidget& control);
/// The items of a list (a combo box) or the lines of a memo.
std::optional<int> ControlItemCount(const QWidget& control);
/// The fill colour of a shape.
std::optional<QColor> ControlColor(const QWidget& control);
/// The line series of the window's chart.
QXYSeries* ChartSeries(const QWidget& window);

/// Calls changed each time the control's text, items or lines change, at once: a text
/// shown only for a moment is seen too.
QList<QMetaObject::Connection> HookChanges(QWidget& control, QObject& context,
                                           const std::function<void()>& changed);

/// The texts of the window's edits, memos and status bar, one "name=\"text\"" each, for
/// the report of a failed step.
QString DescribeControls(const QWidget& window);

/// True when the operator could act on the control now: shown and enabled.
bool Operable(const QWidget& control);
/// Picks an item of a combo box as the operator does, telling its handlers.
void ChooseItem(QComboBox& combo, int index);
/// Replaces an edit's text as typing it would.
bool TypeText(QWidget& control, const QString& text);

} // namespace quillon::console
