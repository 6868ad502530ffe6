#include "app/AutomationScript.h"

#include <QColor>
#include <optional>
#include <utility>

namespace quillon::console {

namespace {

enum TArgKind { akText, akCount, akNumber, akColor };

struct TCommandShape {
    const char* Name;
    std::vector<TArgKind> Args;
    bool Waits; // takes a time-out
};

const std::vector<TCommandShape>& Commands() {
    static const std::vector<TCommandShape> commands = {
        {"select", {akText, akText}, true},
        {"choose", {akText, akText}, true},
        {"click", {akText}, true},
        {"type", {akText, akText}, true},
        {"expect-text", {akText, akText}, true},
        {"expect-color", {akText, akColor}, true},
        {"expect-items", {akText, akCount}, true},
        {"expect-points", {akCount}, true},
        {"expect-point", {akCount, akNumber, akNumber}, true},
        {"expect-box", {akText}, true},
        {"expect-box-start", {akText}, true},
        {"expect-quiet", {}, true},
        {"trigger", {akText}, true},
        {"answer-file", {akText}, false},
        {"grab", {akText}, false},
        {"grab-screen", {akText}, false},
        {"quit", {}, false},
    };
    return commands;
}

// Splits a line into words; nullopt when a quote is left open.
std::optional<QStringList> Words(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false, quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < line.size()) {
                word += line[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord) words.append(std::exchange(word, QString()));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inWord) words.append(word);
    return words;
}

std::optional<QString> CheckArg(TArgKind kind, const QString& arg) {
    bool ok = false;
    switch (kind) {
    case akText:
        return std::nullopt;
    case akCount:
        if (arg.toInt(&ok) >= 0 && ok) return std::nullopt;
        return QStringLiteral("\"%1\" is not a count").arg(arg);
    case akNumber:
        arg.toDouble(&ok);
        if (ok) return std::nullopt;
        return QStringLiteral("\"%1\" is not a number").arg(arg);
    case akColor:
        if (arg.size() == 7 && QColor::isValidColorName(arg)) return std::nullopt;
        return QStringLiteral("\"%1\" is not a #rrggbb colour").arg(arg);
    }
    return std::nullopt;
}

std::variant<TScriptStep, QString> ParseLine(const QString& line) {
    const auto words = Words(line);
    if (!words) return QStringLiteral("a quote is not closed");
    TScriptStep step;
    step.Source = line;
    step.Command = words->front();
    step.Args = words->mid(1);
    const TCommandShape* shape = nullptr;
    for (const TCommandShape& s : Commands())
        if (step.Command == QLatin1String(s.Name)) shape = &s;
    if (!shape) return QStringLiteral("unknown command \"%1\"").arg(step.Command);

    const auto wanted = static_cast<qsizetype>(shape->Args.size());
    step.TimeoutMs = DefaultStepTimeoutMs;
    if (shape->Waits && step.Args.size() == wanted + 1) {
        bool ok = false;
        step.TimeoutMs = step.Args.takeLast().toInt(&ok);
        if (!ok || step.TimeoutMs <= 0) return QStringLiteral("the time-out is not a number");
    }
    if (step.Args.size() != wanted)
        return QStringLiteral("%1 takes %2 argument(s)%3")
            .arg(step.Command)
            .arg(wanted)
            .arg(shape->Waits ? QStringLiteral(" and a time-out") : QString());
    for (qsizetype i = 0; i < wanted; ++i)
        if (auto error = CheckArg(shape->Args[static_cast<std::size_t>(i)], step.Args[i]))
            return *error;
    return step;
}

} // namespace

std::variant<TScript, TScriptError> ParseScript(const QString& text) {
    TScript script;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        auto parsed = ParseLine(line);
        if (auto* error = std::get_if<QString>(&parsed))
            return TScriptError{static_cast<int>(n + 1), *error};
        script.push_back(std::get<TScriptStep>(std::move(parsed)));
    }
    return script;
}

} // namespace quillon::console
