#include "app/TemperatureChart.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>

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

TTemperatureChart::TTemperatureChart(QChartView* view)
    : FSeries(new QLineSeries), FAxisX(new QValueAxis), FAxisY(new QValueAxis) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Affichage température"));
    chart->legend()->hide();
    FSeries->setName(QStringLiteral("Series1"));
    FSeries->setColor(kSeriesColor);
    FSeries->setLightMarker(SquareMarker());
    chart->addSeries(FSeries);

    FAxisX->setTitleText(QStringLiteral("Id"));
    FAxisX->setLabelFormat(QStringLiteral("%g"));
    FAxisY->setTitleText(QStringLiteral("Température (°C)"));
    FAxisY->setTitleBrush(Qt::blue);
    FAxisY->setRange(0, 50);
    chart->addAxis(FAxisX, Qt::AlignBottom);
    chart->addAxis(FAxisY, Qt::AlignLeft);
    FSeries->attachAxis(FAxisX);
    FSeries->attachAxis(FAxisY);

    // The view owns the chart, the chart its series and axes; the view's default chart
    // is handed back to its creator, so it goes here.
    QChart* placeholder = view->chart();
    view->setChart(chart);
    delete placeholder;
    view->setRenderHint(QPainter::Antialiasing);
}

void TTemperatureChart::Clear() {
    FShown.clear();
    FPending.clear();
    FSeries->clear();
}

void TTemperatureChart::Flush() {
    if (FPending.isEmpty()) return;
    // Stable: points with equal identifiers keep the order in which they were read.
    std::stable_sort(FPending.begin(), FPending.end(), ByX);
    const auto middle = FShown.size();
    FShown.append(FPending);
    FPending.clear();
    std::inplace_merge(FShown.begin(), FShown.begin() + middle, FShown.end(), ByX);
    FSeries->replace(FShown);

    // The identifier axis follows the points; the temperature axis stays fixed.
    double lo = FShown.front().x(), hi = FShown.back().x();
    if (lo == hi) {
        lo -= 1;
        hi += 1;
    }
    FAxisX->setRange(lo, hi);
    FAxisX->applyNiceNumbers();
}

QList<QPointF> TTemperatureChart::Points() const {
    return FSeries->points();
}

} // namespace quillon::console
