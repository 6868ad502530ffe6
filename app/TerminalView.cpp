#include "app/TerminalView.h"

#include "app/TerminalAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace quillon::console {

namespace {
constexpr int kMargin = 2;

QString FromU16(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

TTerminalView::TTerminalView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    UpdateMetrics();
    InstallTerminalAccessibility();
}

void TTerminalView::AppendText(const QString& text) {
    const bool followEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    const int before = CharacterCount();
    const std::size_t first = FText.Append(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    FLineOffset.resize(first + 1);
    for (std::size_t i = first + 1; i < FText.LineCount(); ++i)
        FLineOffset.push_back(FLineOffset[i - 1] + FText.Line(i - 1).size() + 1);
    Relayout(first);
    if (QAccessible::isActive()) { // only when assistive technology listens
        QAccessibleTextInsertEvent inserted(this, before, TextBetween(before, CharacterCount()));
        QAccessible::updateAccessibility(&inserted);
    }
    if (followEnd) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
    emit Changed();
}

void TTerminalView::AppendLines(const QString& text) {
    qsizetype n = text.size();
    if (text.endsWith(QLatin1String("\r\n")))
        n -= 2;
    else if (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        n -= 1;
    const bool first = IsEmpty();
    FLinesAdded = true;
    AppendText(first ? text.first(n) : QLatin1Char('\n') + text.first(n));
}

void TTerminalView::RewriteLastLine(const QString& text) {
    const std::size_t last = FText.LineCount() - 1;
    const int start = static_cast<int>(FLineOffset[last]);
    const QString old = TextBetween(start, CharacterCount());
    FText.SetLastLine(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    FAnchor = std::min(FAnchor, TPos{last, 0});
    FCursor = std::min(FCursor, TPos{last, 0});
    Relayout(last);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent updated(this, start, old, text);
        QAccessible::updateAccessibility(&updated);
    }
    emit Changed();
}

void TTerminalView::SetOwnFace(bool own) {
    FOwnFace = own;
    UpdateMetrics();
}

void TTerminalView::Clear() {
    if (QAccessible::isActive()) {
        QAccessibleTextRemoveEvent removed(this, 0, Text());
        QAccessible::updateAccessibility(&removed);
    }
    FText.Clear();
    FLineOffset.assign(1, 0);
    FLinesAdded = false;
    FAnchor = FCursor = TPos{};
    Relayout(0);
    viewport()->update();
    emit Changed();
}

QString TTerminalView::Text() const {
    return FromU16(FText.Text());
}

bool TTerminalView::HasSelection() const {
    return FAnchor != FCursor;
}

QString TTerminalView::SelectedText() const {
    const TPos a = std::min(FAnchor, FCursor), b = std::max(FAnchor, FCursor);
    return FromU16(FText.Slice(a.Line, a.Col, b.Line, b.Col));
}

void TTerminalView::SelectAll() {
    FAnchor = TPos{};
    FCursor = TPos{FText.LineCount() - 1, FText.Line(FText.LineCount() - 1).size()};
    viewport()->update();
    SelectionMoved();
}

void TTerminalView::Select(int line0, int col0, int line1, int col1) {
    auto clamp = [this](int line, int col) {
        const std::size_t l = std::min<std::size_t>(std::max(line, 0), FText.LineCount() - 1);
        return TPos{l, std::min<std::size_t>(std::max(col, 0), FText.Line(l).size())};
    };
    FAnchor = clamp(line0, col0);
    FCursor = clamp(line1, col1);
    viewport()->update();
    SelectionMoved();
}

int TTerminalView::CharacterCount() const {
    return static_cast<int>(FLineOffset.back() + FText.Line(FText.LineCount() - 1).size());
}

int TTerminalView::OffsetOf(const TPos& pos) const {
    return static_cast<int>(FLineOffset[pos.Line] + pos.Col);
}

TTerminalView::TPos TTerminalView::PosOf(int offset) const {
    const auto at = static_cast<std::size_t>(std::clamp(offset, 0, CharacterCount()));
    const auto it = std::upper_bound(FLineOffset.begin(), FLineOffset.end(), at);
    const auto line = static_cast<std::size_t>(it - FLineOffset.begin()) - 1;
    return TPos{line, std::min(at - FLineOffset[line], FText.Line(line).size())};
}

QString TTerminalView::TextBetween(int start, int end) const {
    const TPos a = PosOf(start), b = PosOf(end);
    return a < b ? FromU16(FText.Slice(a.Line, a.Col, b.Line, b.Col)) : QString();
}

std::pair<int, int> TTerminalView::SelectionOffsets() const {
    return std::minmax(OffsetOf(FAnchor), OffsetOf(FCursor));
}

void TTerminalView::SelectOffsets(int anchor, int cursor) {
    const TPos a = PosOf(anchor), c = PosOf(cursor);
    Select(static_cast<int>(a.Line), static_cast<int>(a.Col), static_cast<int>(c.Line),
           static_cast<int>(c.Col));
}

QRect TTerminalView::CharacterRect(int offset) const {
    const TPos pos = PosOf(offset);
    const auto cols = static_cast<std::size_t>(FColumns);
    const std::size_t row = FRowStart[pos.Line] + pos.Col / cols;
    const long y = (static_cast<long>(row) - verticalScrollBar()->value()) * FCellHeight;
    return QRect(kMargin + static_cast<int>(pos.Col % cols) * FCellWidth, static_cast<int>(y),
                 FCellWidth, FCellHeight);
}

int TTerminalView::OffsetAt(const QPoint& point) const {
    return OffsetOf(PosAt(point));
}

void TTerminalView::ScrollToOffset(int offset) {
    const TPos pos = PosOf(offset);
    const auto row = static_cast<int>(FRowStart[pos.Line] + pos.Col / FColumns);
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value() || row >= bar->value() + bar->pageStep()) bar->setValue(row);
}

void TTerminalView::SelectionMoved() {
    if (!QAccessible::isActive()) return;
    const auto [start, end] = SelectionOffsets();
    QAccessibleTextSelectionEvent selected(this, start, end);
    selected.setCursorPosition(CursorOffset());
    QAccessible::updateAccessibility(&selected);
}

void TTerminalView::CopySelection() const {
    if (HasSelection()) QApplication::clipboard()->setText(SelectedText());
}

void TTerminalView::UpdateMetrics() {
    // The stored font may name a face this machine lacks; the cells need a fixed pitch.
    FCellFont = font();
    if (!FOwnFace) {
        FCellFont.setStyleHint(QFont::TypeWriter);
        FCellFont.setFixedPitch(true);
    }
    const QFontMetrics fm(FCellFont);
    FCellWidth = std::max(1, fm.horizontalAdvance(QLatin1Char(FOwnFace ? '0' : 'M')));
    FCellHeight = std::max(1, fm.height());
    FAscent = fm.ascent();
    const int columns = std::max(1, (viewport()->width() - 2 * kMargin) / FCellWidth);
    if (columns != FColumns) {
        FColumns = columns;
        Relayout(0);
    } else {
        UpdateScrollBar();
    }
    viewport()->update();
}

std::size_t TTerminalView::RowsOf(std::size_t line) const {
    const std::size_t n = FText.Line(line).size();
    const auto cols = static_cast<std::size_t>(FColumns);
    return n == 0 ? 1 : (n + cols - 1) / cols;
}

void TTerminalView::Relayout(std::size_t firstLine) {
    // Received text only touches the last line and adds lines after it, so appending
    // costs the size of what arrived, whatever the length of the line it extends.
    FRowStart.resize(std::min(firstLine, FText.LineCount()) + 1);
    for (std::size_t i = FRowStart.size() - 1; i < FText.LineCount(); ++i)
        FRowStart.push_back(FRowStart[i] + RowsOf(i));
    UpdateScrollBar();
}

void TTerminalView::UpdateScrollBar() {
    const int visible = std::max(1, viewport()->height() / FCellHeight);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, RowCount() - visible));
    bar->setPageStep(visible);
    bar->setSingleStep(1);
}

std::size_t TTerminalView::LineOfRow(std::size_t row) const {
    auto it = std::upper_bound(FRowStart.begin(), FRowStart.end() - 1, row);
    return static_cast<std::size_t>(it - FRowStart.begin()) - 1;
}

QString TTerminalView::DisplayText(const std::u16string& line, std::size_t from,
                                   std::size_t count) const {
    QString out = FromU16(line.substr(from, count));
    // Control characters get a visible stand-in so that none is lost from sight and the
    // columns stay aligned.
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(0x2400 + u);
        else if (u == 0x7F)
            c = QChar(0x2421);
        else if (u >= 0x80 && u < 0xA0)
            c = QChar(0x00B7);
    }
    return out;
}

void TTerminalView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(FCellFont);
    const QPalette& pal = palette();
    const TPos selA = std::min(FAnchor, FCursor), selB = std::max(FAnchor, FCursor);
    const auto cols = static_cast<std::size_t>(FColumns);
    const auto first = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t last =
        std::min<std::size_t>(RowCount(), first + viewport()->height() / FCellHeight + 1);
    for (std::size_t row = first; row < last; ++row) {
        const std::size_t line = LineOfRow(row);
        const std::u16string& text = FText.Line(line);
        const std::size_t from = (row - FRowStart[line]) * cols;
        const std::size_t count = std::min(cols, text.size() - std::min(from, text.size()));
        const int y = static_cast<int>(row - first) * FCellHeight;
        const TPos rowA{line, from}, rowB{line, from + count};
        if (HasSelection() && selA < rowB && rowA < selB) {
            const std::size_t a = std::max(selA, rowA).Col - from;
            const std::size_t b = std::min(selB, rowB).Col - from;
            p.fillRect(kMargin + static_cast<int>(a) * FCellWidth, y,
                       static_cast<int>(b - a) * FCellWidth, FCellHeight,
                       pal.color(QPalette::Highlight));
        }
        p.setPen(pal.color(QPalette::Text));
        p.drawText(kMargin, y + FAscent, DisplayText(text, from, count));
    }
}

void TTerminalView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateMetrics();
}

void TTerminalView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateMetrics();
}

void TTerminalView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event == QKeySequence::Copy) {
        CopySelection();
    } else if (event == QKeySequence::SelectAll) {
        SelectAll();
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        bar->setValue(0);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        bar->setValue(bar->maximum());
    } else if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown ||
               event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        const int step = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown
                             ? bar->pageStep()
                             : 1;
        const bool up = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_Up;
        bar->setValue(bar->value() + (up ? -step : step));
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

TTerminalView::TPos TTerminalView::PosAt(const QPoint& point) const {
    const long rowOnScreen = std::max(0, point.y()) / FCellHeight;
    const std::size_t row = std::min<std::size_t>(verticalScrollBar()->value() + rowOnScreen,
                                                  static_cast<std::size_t>(RowCount()) - 1);
    const std::size_t line = LineOfRow(row);
    const auto cols = static_cast<std::size_t>(FColumns);
    const long cell = (std::max(0, point.x() - kMargin) + FCellWidth / 2) / FCellWidth;
    const std::size_t col = (row - FRowStart[line]) * cols + std::min<std::size_t>(cell, cols);
    return TPos{line, std::min(col, FText.Line(line).size())};
}

void TTerminalView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    FCursor = PosAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier)) FAnchor = FCursor;
    viewport()->update();
    SelectionMoved();
}

void TTerminalView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    FCursor = PosAt(event->position().toPoint());
    viewport()->update();
    SelectionMoved();
}

void TTerminalView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("Copier"), this, &TTerminalView::CopySelection);
    copy->setEnabled(HasSelection());
    menu.addAction(tr("Tout sélectionner"), this, &TTerminalView::SelectAll);
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(event->globalPos());
}

} // namespace quillon::console
