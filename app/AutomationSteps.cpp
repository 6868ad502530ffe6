#include "app/AutomationSteps.h"

#include "app/AutomationControls.h"
#include "app/AutomationDialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QXYSeries>
#include <cmath>

namespace quillon::console {

namespace {

TStepCheck Ready() {
    return {};
}
TStepCheck Waiting(const QString& why) {
    return {TStepCheck::csWaiting, why};
}
TStepCheck Failed(const QString& why) {
    return {TStepCheck::csFailed, why};
}

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The combo box item the step names: a part of its text for select, all of it for choose.
int ItemIndex(const QComboBox& combo, const TScriptStep& step) {
    const bool whole = step.Command == QLatin1String("choose");
    for (int i = 0; i < combo.count(); ++i) {
        const QString item = combo.itemText(i);
        if (whole ? item == step.Args[1] : item.contains(step.Args[1])) return i;
    }
    return -1;
}

TStepCheck CheckItem(const QWidget& control, const TScriptStep& step) {
    const auto* combo = qobject_cast<const QComboBox*>(&control);
    if (!combo) return Failed(step.Args[0] + QStringLiteral(" is not a list"));
    if (!Operable(control)) return Waiting(step.Args[0] + QStringLiteral(" is disabled"));
    if (ItemIndex(*combo, step) < 0) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(Quoted(combo->itemText(i)));
        return Waiting(QStringLiteral("no such item among [%1]").arg(items.join(QLatin1Char(' '))));
    }
    return Ready();
}

TStepCheck CheckText(const QWidget& control, const QString& wanted) {
    const auto text = ControlText(control);
    if (!text) return Failed(QStringLiteral("%1 shows no text").arg(control.objectName()));
    if (*text == wanted) return Ready();
    return Waiting(QStringLiteral("it shows ") + Quoted(*text));
}

TStepCheck CheckColor(const QWidget& control, const QString& wanted) {
    const auto color = ControlColor(control);
    if (!color) return Failed(QStringLiteral("%1 has no fill colour").arg(control.objectName()));
    if (*color == QColor(wanted)) return Ready();
    return Waiting(QStringLiteral("it is ") + color->name());
}

TStepCheck CheckItems(const QWidget& control, int wanted) {
    const auto count = ControlItemCount(control);
    if (!count) return Failed(QStringLiteral("%1 has no items").arg(control.objectName()));
    if (*count == wanted) return Ready();
    return Waiting(QStringLiteral("it has %1").arg(*count));
}

TStepCheck CheckPoints(const QWidget& window, const TScriptStep& step) {
    const QXYSeries* series = ChartSeries(window);
    if (!series) return Failed(QStringLiteral("the window has no chart series"));
    if (step.Command == QLatin1String("expect-points")) {
        const int wanted = step.Args[0].toInt();
        if (series->count() == wanted) return Ready();
        return Waiting(QStringLiteral("the series has %1 points").arg(series->count()));
    }
    const int index = step.Args[0].toInt();
    if (index >= series->count())
        return Waiting(QStringLiteral("the series has %1 points").arg(series->count()));
    const QPointF p = series->at(index);
    const QPointF wanted(step.Args[1].toDouble(), step.Args[2].toDouble());
    // The log holds two decimals; anything closer than that is the same reading.
    if (std::abs(p.x() - wanted.x()) < 1e-9 && std::abs(p.y() - wanted.y()) < 1e-6) return Ready();
    return Waiting(QStringLiteral("the point is (%1, %2)").arg(p.x()).arg(p.y()));
}

TStepCheck CheckBox(const TAutomationDialogs& dialogs, const QString& wanted, bool whole) {
    const auto box = dialogs.NextBox();
    if (!box) return Waiting(QStringLiteral("no box was shown"));
    if (whole ? *box == wanted : box->startsWith(wanted)) return Ready();
    return Failed(QStringLiteral("the next box reads ") + Quoted(*box));
}

std::optional<QString> Save(const QPixmap& picture, const QString& path) {
    if (picture.isNull()) return QStringLiteral("nothing to grab");
    if (!picture.save(path, "PNG")) return QStringLiteral("cannot write ") + path;
    return std::nullopt;
}

} // namespace

TStepCheck CheckStep(const TScriptStep& step, const TStepContext& context) {
    const QString& command = step.Command;
    if (command == QLatin1String("expect-points") || command == QLatin1String("expect-point"))
        return CheckPoints(context.Window, step);
    if (command == QLatin1String("expect-box") || command == QLatin1String("expect-box-start"))
        return CheckBox(context.Dialogs, step.Args[0], command == QLatin1String("expect-box"));
    if (command == QLatin1String("quit") || command == QLatin1String("expect-quiet")) {
        // Quiet until its time-out, which passes it (Automation.cpp).
        if (command == QLatin1String("expect-quiet") && !context.Dialogs.NextBox())
            return Waiting(QStringLiteral("no box"));
        if (const auto box = context.Dialogs.NextBox())
            return Failed(QStringLiteral("a box was not expected: ") + Quoted(*box));
        return Ready();
    }
    if (command == QLatin1String("answer-file") || command.startsWith(QLatin1String("grab")))
        return Ready();
    if (command == QLatin1String("trigger")) {
        const auto* action = context.Window.findChild<QAction*>(step.Args[0]);
        if (!action) return Failed(QStringLiteral("no action is named ") + step.Args[0]);
        return action->isEnabled() ? Ready()
                                   : Waiting(step.Args[0] + QStringLiteral(" is disabled"));
    }

    // The rest act on or look at one control.
    const QWidget* control = FindControl(context.Window, step.Args[0]);
    if (!control) return Failed(QStringLiteral("no control is named ") + step.Args[0]);
    if (command == QLatin1String("select") || command == QLatin1String("choose"))
        return CheckItem(*control, step);
    if (command == QLatin1String("click") || command == QLatin1String("type"))
        return Operable(*control) ? Ready()
                                  : Waiting(step.Args[0] + QStringLiteral(" is disabled"));
    if (command == QLatin1String("expect-text")) return CheckText(*control, step.Args[1]);
    if (command == QLatin1String("expect-color")) return CheckColor(*control, step.Args[1]);
    if (command == QLatin1String("expect-items")) return CheckItems(*control, step.Args[1].toInt());
    return Failed(QStringLiteral("no check for ") + command);
}

std::optional<QString> DoStep(const TScriptStep& step, const TStepContext& context) {
    const QString& command = step.Command;
    if (command == QLatin1String("answer-file")) {
        context.Dialogs.AnswerFile(step.Args[0]);
    } else if (command == QLatin1String("trigger")) {
        context.Window.findChild<QAction*>(step.Args[0])->trigger();
    } else if (command.startsWith(QLatin1String("expect-box"))) {
        context.Dialogs.TakeBox();
    } else if (command == QLatin1String("grab")) {
        return Save(context.Window.grab(), step.Args[0]);
    } else if (command == QLatin1String("grab-screen")) {
        // The window's pixels as the display server has them, not a fresh rendering.
        QScreen* screen = context.Window.screen();
        if (!screen) return QStringLiteral("the window is on no screen");
        return Save(screen->grabWindow(context.Window.winId()), step.Args[0]);
    } else if (command == QLatin1String("click")) {
        auto* button = qobject_cast<QAbstractButton*>(FindControl(context.Window, step.Args[0]));
        if (!button) return step.Args[0] + QStringLiteral(" is not a button");
        button->click();
    } else if (command == QLatin1String("type")) {
        if (!TypeText(*FindControl(context.Window, step.Args[0]), step.Args[1]))
            return step.Args[0] + QStringLiteral(" does not take text");
    } else if (command == QLatin1String("select") || command == QLatin1String("choose")) {
        auto* combo = qobject_cast<QComboBox*>(FindControl(context.Window, step.Args[0]));
        ChooseItem(*combo, ItemIndex(*combo, step));
    }
    return std::nullopt;
}

} // namespace quillon::console
