#pragma once
// Shape1: a circle centred in the widget, drawn with a 3-pixel pen and filled with the
// brush colour, which shows the board's LED state.
#include <QColor>
#include <QWidget>

namespace quillon::console {

class TShape : public QWidget {
    Q_OBJECT
  public:
    explicit TShape(QWidget* parent = nullptr) : QWidget(parent) {}

    QColor BrushColor() const { return FBrush; }
    void SetBrushColor(const QColor& color);
    QColor PenColor() const { return FPen; }
    int PenWidth() const { return 3; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor FBrush = Qt::white;
    QColor FPen = Qt::black;
};

} // namespace quillon::console
