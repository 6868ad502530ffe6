#pragma once
// The automation's script: one step a line; words split at blanks, a text holding blanks
// in double quotes (\" and \\ inside them); blank lines and lines starting with "#" are
// skipped. A step that waits takes an optional last word, its time-out in milliseconds.
#include <QString>
#include <QStringList>
#include <variant>
#include <vector>

namespace quillon::console {

struct TScriptStep {
    QString Source; ///< the line as written, for the report
    QString Command;
    QStringList Args;
    int TimeoutMs = 0; ///< how long the step may wait for its condition
};

struct TScriptError {
    int Line = 0;
    QString Message;
};

using TScript = std::vector<TScriptStep>;

constexpr int DefaultStepTimeoutMs = 10000;

/// The steps of a whole script, or its first mistake: a script with a typo runs nothing.
std::variant<TScript, TScriptError> ParseScript(const QString& text);

} // namespace quillon::console
