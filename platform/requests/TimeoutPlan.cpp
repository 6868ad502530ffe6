#include "platform/requests/TimeoutPlan.h"

namespace qwin::detail {

namespace {

// 64 bits hold MAXDWORD * MAXDWORD + MAXDWORD without overflow.
std::uint64_t Total(DWORD multiplier, DWORD constant, DWORD count) {
    return std::uint64_t(multiplier) * count + constant;
}

} // namespace

TReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count) {
    TReadPlan plan;
    const auto interval = t.ReadIntervalTimeout;
    const auto multiplier = t.ReadTotalTimeoutMultiplier;
    const auto constant = t.ReadTotalTimeoutConstant;
    if (interval == MAXDWORD) {
        if (multiplier == 0 && constant == 0) {
            plan.ReturnAtOnce = true;
        } else if (multiplier == MAXDWORD && constant != MAXDWORD) {
            plan.ReturnIfAny = true;
            plan.OneByteEnough = true;
            plan.TotalMs = constant;
        } else if (multiplier != MAXDWORD && constant != MAXDWORD) {
            plan.ReturnIfAny = true;
            plan.TotalMs = Total(multiplier, constant, count);
        }
        // A constant of MAXDWORD selects none of the modes: the read waits for all bytes.
        return plan;
    }
    if (multiplier != 0 || constant != 0) plan.TotalMs = Total(multiplier, constant, count);
    if (interval != 0) plan.IntervalMs = interval;
    return plan;
}

std::optional<std::uint64_t> PlanWrite(const COMMTIMEOUTS& t, DWORD count) {
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) return std::nullopt;
    return Total(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

} // namespace qwin::detail
