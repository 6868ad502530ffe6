#pragma once
// How a read, a write and an event wait live and die on a serial device, whichever
// backend moves the bytes. A request is
//   queued    - accepted by ReadFile / WriteFile / WaitCommEvent; its record says
//               ERROR_IO_PENDING and its event is reset;
//   started   - at the head of its queue: its time-outs run from here;
//   finished  - by its byte count, a time-out, a mask change (waits), a purge, the close
//               of the device or its loss; the record gets the outcome, the event is set,
//               blocked callers are woken. Nothing touches it afterwards.
// The engine makes no system calls and takes no lock: the backend holds its own lock
// around every call, moves the bytes (TByteMover) and reports what it observed of the
// line; the engine decides when requests end and which events are reported.
//
// Who drives each backend, that is, whose thread moves the bytes and ends the requests:
//   Linux tty   the calling thread when the tty allows at once; else the thread that waits
//               for a request (a blocking call, GetOverlappedResult, or a wait on the
//               request's event, through the event's pump), asleep in epoll on the tty and
//               an eventfd. One thread drives at a time; a helper thread drives only while
//               transfers are pending that nobody waits for. While line events are
//               asked for, a line watch thread sleeps in TIOCMIWAIT and raises what it
//               sees into the engine, then wakes the driving thread.
//   virtual     the calling thread of either end, under the pair's one lock: a write lands
//               in the other end's queue at once. The pair's timer thread ends requests on
//               their time-outs.
//   Windows     the system: each request has a real overlapped record; one worker thread
//               per device waits on them and copies each outcome into the caller's record.
// Locks: a device's lock comes before an event's (platform/core/LockRank.h, checked in
// debug builds): devices set their requests' events under their own lock, so nobody may
// enter a device while holding an event's.
#include "platform/core/Device.h"
#include "platform/requests/TimeoutPlan.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <optional>

namespace qwin::detail {

using Clock = std::chrono::steady_clock;

enum class TRequestKind { Read, Write, Wait };

/// One read, write or event wait, from its start until it ends.
struct TRequest {
    TRequestKind Kind = TRequestKind::Read;
    OVERLAPPED* Overlapped = nullptr; ///< null for a blocking call
    std::shared_ptr<Event> Signal;    ///< the overlapped record's event
    BYTE* ReadBuffer = nullptr;
    const BYTE* WriteBuffer = nullptr;
    DWORD* Events = nullptr; ///< where a wait leaves its events
    DWORD Count = 0;
    DWORD Done = 0;
    bool Started = false;
    bool Finished = false;
    DWORD Status = 0; ///< last-error code once finished; 0 for success
    TReadPlan Plan;
    std::optional<Clock::time_point> TotalDeadline;
    std::optional<Clock::time_point> IntervalDeadline;
};

using TRequestPtr = std::shared_ptr<TRequest>;

/// What a move of bytes achieved: fewer than asked means none are left (or no room) now.
struct TMoved {
    DWORD Count = 0;
    DWORD Error = 0; ///< the system's code when the move failed
};

/// The backend's side of the data path.
class TByteMover {
  public:
    virtual ~TByteMover() = default;
    /// Takes up to max received bytes into dst.
    virtual TMoved Receive(BYTE* dst, DWORD max) = 0;
    /// Hands up to count bytes to the line or the output buffer.
    virtual TMoved Send(const BYTE* src, DWORD count) = 0;
};

/// The pending requests and line-event bookkeeping of one open device.
class TRequestEngine {
  public:
    /// Notified whenever a request ends; blocking callers wait on it under the backend's lock.
    void NotifyOn(std::condition_variable& changed) { FChanged = &changed; }
    /// The time-outs of requests that start from now on; started ones keep theirs.
    const COMMTIMEOUTS& Timeouts() const { return FTimeouts; }
    /// Fails (last error set) for a record the serial driver refuses.
    bool SetTimeouts(const COMMTIMEOUTS& t);

    /// A request for ReadFile / WriteFile / WaitCommEvent; nullptr with the last error set
    /// when the record's hEvent is not an event.
    static TRequestPtr Make(TRequestKind kind, OVERLAPPED* ov, DWORD count);
    /// Queues r. A transfer of nothing ends at once; a wait ends at once with the events
    /// seen since the last report.
    void Submit(const TRequestPtr& r);
    /// The answer of the call that submitted r: TRUE when it has ended well, else FALSE
    /// with its error or ERROR_IO_PENDING.
    static bool Answer(const TRequest& r, DWORD* done);
    /// GetOverlappedResult's answer from the record of a request that has ended (its
    /// outcome is written there) or was never this device's.
    static bool Outcome(const OVERLAPPED& ov, DWORD* done);
    /// The pending request that owns ov, or nullptr.
    TRequestPtr Pending(const OVERLAPPED* ov) const;
    /// Whether a pending request will set ev when it ends.
    bool Signals(const Event& ev) const;

    /// Fills started reads from the mover and ends them by their plans; a failed move ends
    /// the head read with the error, which is returned (0 when none).
    DWORD ServeReads(TByteMover& mover, Clock::time_point now);
    /// Sends the head writes' bytes; a failed move ends the head write, as for reads.
    DWORD ServeWrites(TByteMover& mover, Clock::time_point now);
    /// Puts one received byte straight into the head read when it wants one; false when
    /// the byte must be queued instead.
    bool Deliver(BYTE b, Clock::time_point now);
    /// Ends the requests whose time-outs have passed.
    void Expire(Clock::time_point now);
    std::optional<Clock::time_point> NextDeadline() const;

    bool Reading() const { return !FReads.empty(); }
    bool Writing() const { return !FWrites.empty(); }
    bool Waiting() const { return FWait != nullptr; }
    /// Bytes of pending writes not yet handed to the mover.
    DWORD Unsent() const;

    /// PURGE_RXABORT / PURGE_TXABORT: the pending transfers end aborted.
    void Abort(DWORD purgeFlags);
    /// Every request ends with status (close, loss of the device).
    void EndAll(DWORD status);
    /// Ends a request removed from its queue, or held by nobody else.
    void Finish(TRequest& r, DWORD status);

    // Events. A masked event either completes the pending wait, together with what was
    // kept, or is kept for the next wait.
    DWORD Mask() const { return FMask; }
    /// Changes the mask; a pending wait ends with no events, the kept ones are dropped.
    /// Fails (last error set) for bits that name no event.
    bool SetMask(DWORD mask);
    void Raise(DWORD events);
    /// EV_RXCHAR when there is input beyond what was already reported: queued is what
    /// the input queue holds now.
    DWORD InputEvents(DWORD queued);
    /// EV_CTS / EV_DSR / EV_RLSD for lines that changed since the last report, EV_RING
    /// when the ring indicator went off. modem: MS_ flags now.
    DWORD LineEvents(DWORD modem);
    /// Resets the line report to modem without raising anything (at open).
    void LinesAre(DWORD modem) { FReportedModem = modem; }
    /// Output has been handed over; the next drain is reported as EV_TXEMPTY.
    void Sent() { FTxBusy = true; }
    bool SentSinceDrained() const { return FTxBusy; }
    /// The output has left: raises EV_TXEMPTY once for what was sent.
    void Drained();
    /// Discarded output earns no EV_TXEMPTY.
    void Discarded() { FTxBusy = false; }
    /// Queued input was discarded: none of it is left to report.
    void InputDiscarded() { FReportedInput = 0; }

  private:
    void FinishAll(std::deque<TRequestPtr>& q, DWORD status);
    void Start(TRequest& r, Clock::time_point now);

    std::condition_variable* FChanged = nullptr;
    std::deque<TRequestPtr> FReads;
    std::deque<TRequestPtr> FWrites;
    TRequestPtr FWait;
    DWORD FMask = 0;
    DWORD FHistory = 0;       // masked events seen while no wait was pending
    DWORD FReportedInput = 0; // queued input already reported as EV_RXCHAR
    bool FTakenUnreported = false;
    DWORD FReportedModem = 0;
    bool FTxBusy = false;
    COMMTIMEOUTS FTimeouts{};
};

/// The line events between two readings of the modem lines (MS_ flags): EV_CTS / EV_DSR /
/// EV_RLSD for each line that changed, EV_RING when the ring indicator went off (its
/// trailing edge, where a UART and the Linux serial core count a ring).
DWORD ModemLineEvents(DWORD before, DWORD now);

} // namespace qwin::detail
