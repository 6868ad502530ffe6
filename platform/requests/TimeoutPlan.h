#pragma once
// How a serial read or write ends under a COMMTIMEOUTS record, with the meanings the
// Windows serial driver gives the members (MAXDWORD in the interval selects the special
// "return what is there" modes). Pure functions, no device.
#include "platform/WinApi.h"

#include <cstdint>
#include <optional>

namespace qwin::detail {

/// When a read request of a given size completes.
struct TReadPlan {
    bool ReturnAtOnce = false;  ///< complete at start with whatever is queued, even nothing
    bool ReturnIfAny = false;   ///< complete at start when at least one byte is queued
    bool OneByteEnough = false; ///< while pending, the first byte completes the read
    std::optional<std::uint64_t> TotalMs;    ///< limit from the start of the read
    std::optional<std::uint64_t> IntervalMs; ///< limit between two bytes, once one arrived
};

/// The plan of a read of count bytes.
TReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count);
/// The total limit of a write of count bytes; none when both write members are 0.
std::optional<std::uint64_t> PlanWrite(const COMMTIMEOUTS& t, DWORD count);

} // namespace qwin::detail
