// quillon-bench-console: the console's figures on the real window, offscreen.
//
//   quillon-bench-console [--lines N] [--feed-mib N]
#include "ConsoleBench.h"
#include "app/QtMainLoop.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace quillon::console::bench;
    int64_t lines = 1'000'000;
    int64_t feedMiB = 16;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--lines") == 0) lines = std::atoll(argv[i + 1]);
        if (std::strcmp(argv[i], "--feed-mib") == 0) feedMiB = std::atoll(argv[i + 1]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quillon::console::TQtMainLoop loop;
    rtl::SetMainLoop(&loop);

    namespace fs = std::filesystem;
    const fs::path log =
        fs::temp_directory_path() / ("quillon-bench-log-" + std::to_string(getpid()) + ".txt");
    WriteTemperatureLog(log.string(), lines);
    const TLoadResult load = MeasureLogLoad(log.string(), lines);
    fs::remove(log);
    const TFeedResult feed = MeasureTerminalFeed(feedMiB << 20, 4096);
    rtl::SetMainLoop(nullptr);

    std::printf("| console figure | value |\n|---|---|\n");
    std::printf("| log: lines / points plotted | %lld / %lld |\n",
                static_cast<long long>(load.Lines), static_cast<long long>(load.Points));
    std::printf("| log: load and plot | %.2f s (processor %.2f s) |\n", load.Seconds,
                load.CpuSeconds);
    std::printf("| log: peak resident (before -> after) | %.0f MiB -> %.0f MiB |\n",
                load.BaselineRssMiB, load.PeakRssMiB);
    std::printf("| log: longest wait of input during the load (GUI thread's processor time in it) "
                "| %.0f ms (%.0f ms) |\n",
                load.LongestWaitMs, load.LongestWorkMs);
    std::printf("| log: boxes shown | %d |\n", load.Boxes);
    std::printf("| terminal: bytes / handler calls | %lld / %lld |\n",
                static_cast<long long>(feed.Bytes), static_cast<long long>(feed.Calls));
    std::printf("| terminal: total | %.2f s (%.1f MiB/s) |\n", feed.Seconds,
                feed.Seconds > 0 ? static_cast<double>(feed.Bytes) / (1 << 20) / feed.Seconds
                                 : 0.0);
    std::printf("| terminal: handler call median / max | %.3f ms / %.1f ms |\n", feed.MedianMs,
                feed.MaxMs);
    const bool ok = load.Points == lines && feed.Bytes == (feedMiB << 20);
    if (!ok) std::fprintf(stderr, "quillon-bench-console: a figure is incomplete\n");
    return ok ? 0 : 1;
}
