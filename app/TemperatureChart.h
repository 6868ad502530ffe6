#pragma once
// Chart1's content: temperature against sample identifier, with the titles and the fixed
// 0..50 temperature axis of the layout. Series1 holds every point, in ascending
// identifier order; what the chart draws is a curve of the points a pixel column can
// show (the first, lowest, highest and last of each column), so a log of a million lines
// draws as fast as a small one, and a small one draws every point.
#include <QList>
#include <QMetaObject>
#include <QPointF>

class QChartView;
class QLineSeries;
class QValueAxis;

namespace quillon::console {

/// The points of sorted (by x) that a plot columns wide over x in [lo, hi] shows: all of
/// a column's points when it has four or fewer, else its first, lowest, highest and last.
QList<QPointF> PointsForColumns(const QList<QPointF>& sorted, double lo, double hi, int columns);

class TTemperatureChart {
  public:
    /// Sets up the chart shown by view.
    explicit TTemperatureChart(QChartView* view);
    ~TTemperatureChart();
    TTemperatureChart(const TTemperatureChart&) = delete;
    TTemperatureChart& operator=(const TTemperatureChart&) = delete;

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
    /// The line drawn.
    QLineSeries* Curve() const { return FCurve; }
    QValueAxis* BottomAxis() const { return FAxisX; }
    QValueAxis* LeftAxis() const { return FAxisY; }

  private:
    void Redraw();

    QChartView* FView;
    QLineSeries* FSeries;
    QLineSeries* FCurve;
    QValueAxis* FAxisX;
    QValueAxis* FAxisY;
    QList<QPointF> FShown;
    QList<QPointF> FPending;
    QMetaObject::Connection FResized;
};

} // namespace quillon::console
