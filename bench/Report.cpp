#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace quillon::bench {

namespace {

template <class R> std::optional<double> MedianOf(const std::vector<R>& runs, double R::*field) {
    std::vector<double> values;
    for (const R& r : runs)
        values.push_back(r.*field);
    return Median(values);
}

std::optional<double> MedianWakeups(const std::vector<TIdleResult>& runs) {
    std::vector<double> values;
    for (const TIdleResult& r : runs)
        values.push_back(static_cast<double>(r.Wakeups));
    return Median(values);
}

// "value (ratio×)" or "-" when the value or the limit is missing.
std::string Cell(std::optional<double> value, std::optional<double> limit, const char* format) {
    if (!value) return "-";
    char text[64];
    int n = std::snprintf(text, sizeof text, format, *value);
    if (limit && *limit > 0)
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " (%.2fx)", *value / *limit);
    return text;
}

} // namespace

std::optional<double> Median(std::vector<double> values) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void PrintTable(const std::vector<TStackResults>& stacks, int runs) {
    if (stacks.empty()) return;
    const TStackResults& limit = stacks.front();
    using Getter = std::function<std::optional<double>(const TStackResults&)>;
    struct Column {
        const char* Title;
        const char* Format;
        Getter Get;
        bool Ratio;
    };
    const std::vector<Column> columns = {
        {"rx MiB/s", "%.1f", [](auto& s) { return MedianOf(s.Rx, &TRxResult::MiBPerS); }, true},
        {"rx CPU ms/MiB", "%.2f", [](auto& s) { return MedianOf(s.Rx, &TRxResult::CpuMsPerMiB); },
         true},
        {"rx sleeps/MiB", "%.0f", [](auto& s) { return MedianOf(s.Rx, &TRxResult::WakeupsPerMiB); },
         false},
        {"echo median us", "%.1f", [](auto& s) { return MedianOf(s.Echo, &TEchoResult::MedianUs); },
         true},
        {"echo p99 us", "%.1f", [](auto& s) { return MedianOf(s.Echo, &TEchoResult::P99Us); },
         true},
        {"CPU us/echo", "%.1f",
         [](auto& s) { return MedianOf(s.Echo, &TEchoResult::CpuUsPerEcho); }, true},
        {"sleeps/echo", "%.2f",
         [](auto& s) { return MedianOf(s.Echo, &TEchoResult::WakeupsPerEcho); }, false},
        {"idle CPU ms/5s", "%.3f", [](auto& s) { return MedianOf(s.Idle, &TIdleResult::CpuMs); },
         false},
        {"idle wake-ups/5s", "%.0f", [](auto& s) { return MedianWakeups(s.Idle); }, false},
    };
    std::printf("Medians of %d run(s); (Nx) is the ratio to %s, the limit.\n\n", runs,
                limit.Name.c_str());
    std::printf("| stack |");
    for (const Column& c : columns)
        std::printf(" %s |", c.Title);
    std::printf("\n|---|");
    for (size_t i = 0; i < columns.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    for (const TStackResults& s : stacks) {
        if (!s.Skipped.empty()) {
            std::printf("| %s | skipped: %s |\n", s.Name.c_str(), s.Skipped.c_str());
            continue;
        }
        std::printf("| %s |", s.Name.c_str());
        for (const Column& c : columns) {
            const std::optional<double> base =
                c.Ratio && limit.Skipped.empty() ? c.Get(limit) : std::nullopt;
            std::printf(" %s |", Cell(c.Get(s), base, c.Format).c_str());
        }
        std::printf("\n");
    }
}

} // namespace quillon::bench
