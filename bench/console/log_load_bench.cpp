// Loading and plotting a large temperature log through the real window.
#include "ConsoleBench.h"
#include "app/TemperatureChart.h"
#include "app/Unit2.h"
#include "ui_Unit2.h"

#include <QApplication>
#include <QChartView>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sys/resource.h>
#include <time.h>

namespace quillon::console::bench {

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

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
    TBenchForm form(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form.show();
    QApplication::processEvents();

    TLoadResult result;
    result.Lines = lines;
    result.BaselineRssMiB = PeakRssMiB();
    // A timer due every millisecond stands for the operator's input: the gap between two
    // of its ticks is how long input would have waited.
    using Clock = std::chrono::steady_clock;
    QEventLoop loop;
    dialogs.OnBox = [&](const QString& text) {
        if (text == QStringLiteral("Tracé terminé")) loop.quit();
    };
    // On a busy machine the gap holds other processes' turns too; the GUI thread's own
    // processor time between two ticks is the window's share of it.
    QTimer input;
    auto lastTick = Clock::now();
    double lastCpuMs = ThreadCpuMs();
    QObject::connect(&input, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpuMs = ThreadCpuMs();
        result.LongestWaitMs =
            std::max(result.LongestWaitMs,
                     std::chrono::duration<double, std::milli>(now - lastTick).count());
        result.LongestWorkMs = std::max(result.LongestWorkMs, cpuMs - lastCpuMs);
        lastTick = now;
        lastCpuMs = cpuMs;
    });
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    form.Form().Button2->click();
    if (dialogs.LastBox != QStringLiteral("Tracé terminé")) {
        lastTick = Clock::now();
        lastCpuMs = ThreadCpuMs();
        input.start(1);
        loop.exec();
        input.stop();
    }
    // Drawn for real: the chart's picture is rendered from its points.
    const QPixmap picture = form.Form().Chart1->grab();
    result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.CpuSeconds = CpuSeconds() - cpuStart;
    result.PeakRssMiB = PeakRssMiB();
    result.Points = form.Chart1().Points().size();
    result.Boxes = dialogs.Boxes;
    if (dialogs.LastBox != QStringLiteral("Tracé terminé") || picture.isNull()) result.Points = -1;
    return result;
}

} // namespace quillon::console::bench
