#include "app/TerminalAccessible.h"

#include "app/TerminalView.h"

#include <QAccessibleWidget>
#include <QScrollBar>

namespace quillon::console {

namespace {

class TTerminalAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit TTerminalAccessible(TTerminalView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return View()->Text();
        return QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && View()->HasSelection())
            std::tie(*start, *end) = View()->SelectionOffsets();
    }
    int selectionCount() const override { return View()->HasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { View()->SelectOffsets(start, end); }
    void removeSelection(int) override {
        const int caret = View()->CursorOffset();
        View()->SelectOffsets(caret, caret);
    }
    void setSelection(int, int start, int end) override { View()->SelectOffsets(start, end); }
    int cursorPosition() const override { return View()->CursorOffset(); }
    void setCursorPosition(int position) override { View()->SelectOffsets(position, position); }

    QString text(int start, int end) const override { return View()->TextBetween(start, end); }
    int characterCount() const override { return View()->CharacterCount(); }
    QRect characterRect(int offset) const override {
        const QRect r = View()->CharacterRect(offset);
        return QRect(View()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return View()->OffsetAt(View()->viewport()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int) override { View()->ScrollToOffset(start); }
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset; // plain text: no attributes anywhere
        return {};
    }

  private:
    TTerminalView* View() const { return static_cast<TTerminalView*>(widget()); }
};

QAccessibleInterface* TerminalFactory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<TTerminalView*>(object)) return new TTerminalAccessible(view);
    return nullptr;
}

} // namespace

void InstallTerminalAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&TerminalFactory);
        return true;
    }();
    (void)installed;
}

} // namespace quillon::console
