#pragma once
// The results table: one row per stack, medians over the runs, ratios to the limit.
#include "Measurements.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon::bench {

/// Everything measured for one stack, one entry per run.
struct TStackResults {
    std::string Name;
    std::string Skipped; // why the stack did not run; empty when it did
    std::vector<TRxResult> Rx;
    std::vector<TEchoResult> Echo;
    std::vector<TIdleResult> Idle;
};

/// The median of values; none when there are none.
std::optional<double> Median(std::vector<double> values);

/// Prints the table; the first row is the limit the ratios refer to.
void PrintTable(const std::vector<TStackResults>& stacks, int runs);

} // namespace quillon::bench
