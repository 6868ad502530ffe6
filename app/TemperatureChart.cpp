#include "app/TemperatureChart.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace quillon::console {

namespace {
const QColor kSeriesColor(0x1F, 0x5F, 0xBF);

bool ByX(const QPointF& a, const QPointF& b) {
    return a.x() < b.x();
}

// A small square, the series' point marker.
QImage SquareMarker() {
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(kSeriesColor);
    QPainter p(&image);
    p.setPen(kSeriesColor.darker(160));
    p.drawRect(0, 0, 7, 7);
    return image;
}
} // namespace

QList<QPointF> PointsForColumns(const QList<QPointF>& sorted, double lo, double hi, int columns) {
    if (sorted.size() <= 4 || columns < 1 || !(hi > lo)) return sorted;
    QList<QPointF> out;
    out.reserve(std::min<qsizetype>(sorted.size(), 4 * static_cast<qsizetype>(columns) + 8));
    const double perX = columns / (hi - lo);
    auto column = [&](double x) { return static_cast<long long>(std::floor((x - lo) * perX)); };
    for (qsizetype first = 0; first < sorted.size();) {
        const long long c = column(sorted[first].x());
        qsizetype end = first + 1, low = first, high = first;
        for (; end < sorted.size() && column(sorted[end].x()) == c; ++end) {
            if (sorted[end].y() < sorted[low].y()) low = end;
            if (sorted[end].y() > sorted[high].y()) high = end;
        }
        if (end - first <= 4) {
            out.append(sorted.mid(first, end - first));
        } else {
            // In the order the line passes them, so the column's stroke stays the same.
            qsizetype keep[] = {first, std::min(low, high), std::max(low, high), end - 1};
            for (int i = 0; i < 4; ++i)
                if (i == 0 || keep[i] != keep[i - 1]) out.append(sorted[keep[i]]);
        }
        first = end;
    }
    return out;
}

TTemperatureChart::TTemperatureChart(QChartView* view)
    : FView(view), FSeries(new QLineSeries), FCurve(new QLineSeries), FAxisX(new QValueAxis),
      FAxisY(new QValueAxis) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Affichage température"));
    chart->legend()->hide();
    // Series1 is the chart's data; it is not drawn itself, its curve is.
    FSeries->setObjectName(QStringLiteral("Series1"));
    FSeries->setName(QStringLiteral("Series1"));
    FSeries->setParent(chart);
    FCurve->setName(QStringLiteral("Series1"));
    FCurve->setColor(kSeriesColor);
    FCurve->setLightMarker(SquareMarker());
    chart->addSeries(FCurve);

    FAxisX->setTitleText(QStringLiteral("Id"));
    FAxisX->setLabelFormat(QStringLiteral("%g"));
    FAxisY->setTitleText(QStringLiteral("Température (°C)"));
    FAxisY->setTitleBrush(Qt::blue);
    FAxisY->setRange(0, 50);
    chart->addAxis(FAxisX, Qt::AlignBottom);
    chart->addAxis(FAxisY, Qt::AlignLeft);
    FCurve->attachAxis(FAxisX);
    FCurve->attachAxis(FAxisY);
    FResized = QObject::connect(chart, &QChart::plotAreaChanged, FCurve, [this] { Redraw(); });

    // The view owns the chart, the chart its series and axes; the view's default chart
    // is handed back to its creator, so it goes here.
    QChart* placeholder = view->chart();
    view->setChart(chart);
    delete placeholder;
    view->setRenderHint(QPainter::Antialiasing);
}

TTemperatureChart::~TTemperatureChart() {
    // The chart lives on in the view a little longer than this.
    QObject::disconnect(FResized);
}

void TTemperatureChart::Clear() {
    FShown.clear();
    FPending.clear();
    FSeries->clear();
    FCurve->clear();
}

void TTemperatureChart::Flush() {
    if (FPending.isEmpty()) return;
    // Stable: points with equal identifiers keep the order in which they were read. A log
    // is mostly in order already, and then costs one pass.
    if (!std::is_sorted(FPending.cbegin(), FPending.cend(), ByX))
        std::stable_sort(FPending.begin(), FPending.end(), ByX);
    if (FShown.isEmpty()) {
        FShown.swap(FPending);
    } else {
        const auto middle = FShown.size();
        FShown.append(FPending);
        FPending.clear();
        if (ByX(FShown[middle], FShown[middle - 1]))
            std::inplace_merge(FShown.begin(), FShown.begin() + middle, FShown.end(), ByX);
    }
    FSeries->replace(FShown);

    // The identifier axis follows the points; the temperature axis stays fixed.
    double lo = FShown.front().x(), hi = FShown.back().x();
    if (lo == hi) {
        lo -= 1;
        hi += 1;
    }
    FAxisX->setRange(lo, hi);
    FAxisX->applyNiceNumbers();
    Redraw();
}

void TTemperatureChart::Redraw() {
    if (FShown.isEmpty()) return;
    const QRectF area = FView->chart()->plotArea();
    // Before the chart is first laid out, a column per pixel of the view will do.
    const int columns = static_cast<int>(area.width() >= 1 ? area.width() : FView->width());
    FCurve->replace(PointsForColumns(FShown, FAxisX->min(), FAxisX->max(), columns));
}

QList<QPointF> TTemperatureChart::Points() const {
    return FSeries->points();
}

} // namespace quillon::console
