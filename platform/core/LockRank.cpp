#include "platform/core/LockRank.h"

#include <cstdio>
#include <cstdlib>

namespace qwin::detail {

namespace {

constexpr int RankCount = 2;
// How many holds of each rank the thread has: a wait may nest a call of the same rank.
thread_local unsigned tlsHeld[RankCount] = {};

const char* NameOf(int rank) {
    return rank == int(TLockRank::Device) ? "device" : "event";
}

} // namespace

void TRankHold::Acquire(TLockRank rank) {
    for (int higher = int(rank) + 1; higher < RankCount; ++higher) {
        if (tlsHeld[higher] == 0) continue;
        std::fprintf(stderr, "lock order broken: a %s lock taken while holding an %s lock\n",
                     NameOf(int(rank)), NameOf(higher));
        std::abort();
    }
    ++tlsHeld[int(rank)];
}

void TRankHold::Release(TLockRank rank) {
    --tlsHeld[int(rank)];
}

} // namespace qwin::detail
