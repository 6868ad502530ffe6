#pragma once
// Chart1's content: one line series of temperature against sample identifier, kept in
// ascending identifier order, with the titles and the fixed 0..50 temperature axis of the
// layout. Points are gathered and handed to the series in batches: a chart redraws on
// every change, so adding thousands of points one by one would take seconds.
#include <QList>
#include <QPointF>

class QChartView;
class QLineSeries;
class QValueAxis;

namespace quillon::console {

class TTemperatureChart {
  public:
    /// Sets up the chart shown by view.
    explicit TTemperatureChart(QChartView* view);

    /// Removes every point, shown or pending.
    void Clear();
    /// Queues a point; it shows at the next Flush.
    void Add(double x, double y) { FPending.append(QPointF(x, y)); }
    /// Shows the queued points among the others, by increasing identifier.
    void Flush();
    bool HasPending() const { return !FPending.isEmpty(); }

    /// The points shown, in series order.
    QList<QPointF> Points() const;
    QLineSeries* Series1() const { return FSeries; }
    QValueAxis* BottomAxis() const { return FAxisX; }
    QValueAxis* LeftAxis() const { return FAxisY; }

  private:
    QLineSeries* FSeries;
    QValueAxis* FAxisX;
    QValueAxis* FAxisY;
    QList<QPointF> FShown;
    QList<QPointF> FPending;
};

} // namespace quillon::console
