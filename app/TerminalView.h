#pragma once
// A pane of plain lines: the terminal (received text) and Memo1 (temperature texts, one
// a line). Lines live in a plain store, not a text document, so a million of them cost
// little. A line longer than the pane is broken into rows of the pane's width for display
// only, so a line without any line end stays cheap to extend and every character stays
// visible and copyable. Text always goes to the end, never to the operator's selection.
// Actions added to the pane follow its own in its context menu.
#include "app/TerminalText.h"

#include <QAbstractScrollArea>
#include <cstddef>
#include <utility>
#include <vector>

namespace quillon::console {

class TTerminalView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit TTerminalView(QWidget* parent = nullptr);

    /// Appends text at the end; the view follows the end when it was showing it.
    void AppendText(const QString& text);
    /// Adds text as new lines after the last one, as a memo's line list does (into the
    /// first line when the pane is empty); a line end at its end closes its last line.
    void AppendLines(const QString& text);
    void Clear();
    /// Replaces the last line's text, as for a row that grows in place.
    void RewriteLastLine(const QString& text);
    /// No text, and no line added (an added line may be empty).
    bool IsEmpty() const { return !FLinesAdded && FText.LineCount() == 1 && FText.Line(0).empty(); }
    /// Draws the text in the widget's own face instead of a fixed-pitch one; cells are
    /// then as wide as a digit.
    void SetOwnFace(bool own);

    /// Everything received, lines joined with LF.
    QString Text() const;
    int LineCount() const { return static_cast<int>(FText.LineCount()); }
    /// Display rows of the current width (a long line takes several).
    int RowCount() const { return static_cast<int>(FRowStart.back()); }
    int Columns() const { return FColumns; }

    bool HasSelection() const;
    QString SelectedText() const;
    void SelectAll();
    void CopySelection() const;
    /// Selects from (line0, col0) to (line1, col1), as a mouse drag would.
    void Select(int line0, int col0, int line1, int col1);

    // The same text by offsets into Text(), as assistive technology counts it.
    int CharacterCount() const;
    QString TextBetween(int start, int end) const;
    /// The selection's ends in order (equal when nothing is selected), and where it ends.
    std::pair<int, int> SelectionOffsets() const;
    int CursorOffset() const { return OffsetOf(FCursor); }
    void SelectOffsets(int anchor, int cursor);
    /// In the viewport's coordinates.
    QRect CharacterRect(int offset) const;
    int OffsetAt(const QPoint& point) const;
    void ScrollToOffset(int offset);

  signals:
    /// The text has changed.
    void Changed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    struct TPos {
        std::size_t Line = 0;
        std::size_t Col = 0;
        auto operator<=>(const TPos&) const = default;
    };

    void UpdateMetrics();
    /// Recomputes the display rows of the lines from firstLine on.
    void Relayout(std::size_t firstLine);
    void UpdateScrollBar();
    std::size_t RowsOf(std::size_t line) const;
    std::size_t LineOfRow(std::size_t row) const;
    TPos PosAt(const QPoint& point) const;
    QString DisplayText(const std::u16string& line, std::size_t from, std::size_t count) const;
    int OffsetOf(const TPos& pos) const;
    TPos PosOf(int offset) const;
    /// Tells assistive technology that the selection or caret moved.
    void SelectionMoved();

    TTerminalText FText;
    std::vector<std::size_t> FRowStart{0, 1}; // first row of each line, then the row total
    std::vector<std::size_t> FLineOffset{0};  // offset in Text() of each line's start
    QFont FCellFont;
    int FCellWidth = 1;
    int FCellHeight = 1;
    int FAscent = 0;
    int FColumns = 1;
    TPos FAnchor;
    TPos FCursor;
    bool FOwnFace = false;
    bool FLinesAdded = false; // AppendLines has added a line since the last Clear
};

} // namespace quillon::console
