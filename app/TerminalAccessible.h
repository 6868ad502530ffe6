#pragma once
// What assistive technology reads from a pane of lines: its text, lines, selection and
// caret through Qt's accessibility API, as from the text edits such panes replace.

namespace quillon::console {

/// Makes Qt give every terminal view its accessible text interface (once per process).
void InstallTerminalAccessibility();

} // namespace quillon::console
