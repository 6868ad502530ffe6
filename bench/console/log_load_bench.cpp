// Loading and plotting a large temperature log through the real window.
#include <sys/resource.h>

#include <QApplication>
#include <QChartView>
#include <QPixmap>
#include <chrono>
#include <fstream>

#include "ConsoleBench.h"
#include "app/TemperatureChart.h"
#include "app/Unit2.h"
#include "ui_Unit2.h"

namespace quillon::console::bench {

namespace {

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
}

} // namespace

void WriteTemperatureLog(const std::string& path, int64_t lines) {
    std::ofstream out(path, std::ios::binary);
    std::string text;
    for (int64_t id = 1; id <= lines; ++id) {
        // 15.0 to 34.9 degrees, varying like a slow sensor with a little noise.
        const int64_t tenths = 150 + (id / 97) % 150 + (id * 7919) % 50;
        text += std::to_string(id) + ',' + std::to_string(tenths / 10) + '.' +
                std::to_string(tenths % 10) + ";\n";
        if (text.size() > (1 << 20)) {
            out << text;
            text.clear();
        }
    }
    out << text;
}

TLoadResult MeasureLogLoad(const std::string& path, int64_t lines) {
    TBenchDialogs dialogs;
    dialogs.File = QString::fromStdString(path);
    TForm2 form(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form.show();
    QApplication::processEvents();

    TLoadResult result;
    result.Lines = lines;
    result.BaselineRssMiB = PeakRssMiB();
    const auto start = std::chrono::steady_clock::now();
    form.Form().Button2->click();
    QApplication::processEvents();
    // Drawn for real: the chart's picture is rendered from its million points.
    const QPixmap picture = form.Form().Chart1->grab();
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.PeakRssMiB = PeakRssMiB();
    result.Points = form.Chart1().Points().size();
    if (dialogs.LastBox != QStringLiteral("Tracé terminé") || picture.isNull()) result.Points = -1;
    return result;
}

} // namespace quillon::console::bench
