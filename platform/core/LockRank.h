#pragma once
// Inside the platform layer: the one lock-order rule, checked in debug builds.
//
// A device's lock comes before an event's: a device sets and resets its requests' events
// while it holds its own lock, so a thread that holds an event's lock must never enter a
// device (a call on it, driving it as a pump, or dropping what may be its last owner,
// whose close takes the device's lock). Each place that takes a lock of a rank holds a
// TRankHold for as long; in a debug build a hold taken while a lock of a higher rank is
// held ends the process with both ranks named.
namespace qwin::detail {

enum class TLockRank : unsigned char {
    Device, ///< a device's own lock: any call on a device
    Event,  ///< an event object's lock
};

/// Whether this build checks the rule (debug and sanitizer builds).
inline constexpr bool LockRankChecked = QUILLON_LOCK_RANK_CHECK != 0;

/// Marks the calling thread as holding a lock of rank for the hold's life.
class TRankHold {
  public:
    explicit TRankHold(TLockRank rank) : rank_(rank) {
        if constexpr (LockRankChecked) Acquire(rank_);
    }
    ~TRankHold() {
        if constexpr (LockRankChecked) Release(rank_);
    }
    TRankHold(const TRankHold&) = delete;
    TRankHold& operator=(const TRankHold&) = delete;

  private:
    static void Acquire(TLockRank rank);
    static void Release(TLockRank rank);
    const TLockRank rank_;
};

} // namespace qwin::detail
