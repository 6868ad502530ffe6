#pragma once
// The shared model of one null-modem pair: both ends' settings, queues, lines and pending
// requests, and the timer thread that ends requests on their time-outs. One mutex guards
// all of it; every member function below expects it held, except the constructor and
// destructor.
#include "platform/core/Device.h"
#include "platform/requests/RequestEngine.h"
#include "platform/virtual/VirtualSerial.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qvirt::detail {

using qwin::BYTE;
using qwin::DWORD;
using qwin::detail::Clock;

using qwin::detail::TRequest;
using qwin::detail::TRequestEngine;
using qwin::detail::TRequestPtr;

/// Everything one end holds. Settings and counters survive closing, like a driver's.
struct TEndState {
    std::string Name;
    bool Open = false;
    unsigned Generation = 0; ///< changes at every open, close and unplug

    qwin::DCB State{};
    TQueueSizes Queues;
    TQueueSizes MaxQueues;

    std::deque<BYTE> Input;
    std::deque<BYTE> Output;       ///< accepted from writes, not yet on the line
    std::optional<BYTE> Immediate; ///< TransmitCommChar's byte, ahead of Output

    bool Dtr = false; ///< manual line states (DCB enable/disable, escapes)
    bool Rts = false;
    bool Break = false;
    bool XoffHold = false;  ///< transmission stopped as by a received XOFF
    bool InputHold = false; ///< handshake lines dropped: input queue filling
    bool Ring = false;

    DWORD Errors = 0;        ///< CE_ flags since the last ClearCommError
    bool ErrorAbort = false; ///< fAbortOnError tripped: transfers refused
    /// Pending requests, time-outs and event reports; the time-outs survive closing.
    TRequestEngine Requests;

    TDriverCalls Calls;

    /// A new open number, and nothing left of the previous open's bytes, holds and errors.
    void Renew();
};

class TPairState {
  public:
    TPairState(const std::string& nameA, const std::string& nameB);
    ~TPairState();
    TPairState(const TPairState&) = delete;
    TPairState& operator=(const TPairState&) = delete;

    std::mutex Mutex;
    /// Notified whenever a request ends or queues move; blocking callers wait on it.
    std::condition_variable Changed;
    TEndState Ends[2];
    bool Plugged = true;
    bool Deleted = false;

    /// Whether the open of end e numbered generation is still the live one.
    bool Alive(int e, unsigned generation) const;

    // Lifecycle (PairState.cpp).
    /// Opens end e; fails (last error set, nullopt) when gone, unplugged or already open.
    std::optional<unsigned> OpenEnd(int e);
    /// Closes end e, ending its requests with status.
    void CloseEnd(int e, DWORD status);
    /// Ends both opens with ERROR_ACCESS_DENIED and refuses new ones.
    void Unplug();

    // Lines and events (PairLines.cpp).
    bool EffectiveDtr(int e) const;
    bool EffectiveRts(int e) const;
    /// MS_ flags as seen by end e: the peer's RTS and DTR, its own ring.
    DWORD ModemStatus(int e) const;
    /// Records masked events for end e, completing its pending wait.
    void Raise(int e, DWORD events);
    /// Receive-side line errors at end e (events, fAbortOnError).
    void LineError(int e, DWORD errors);
    /// Applies the DCB's DTR and RTS modes to the manual line states.
    void ApplyLineModes(int e);

    // Data (PairTransfer.cpp).
    bool OutputEmpty(int e) const;
    /// Bytes end e still has to send: TransmitCommChar's, buffered and in pending writes.
    DWORD OutputCount(int e) const;
    /// PurgeComm on end e (flags already checked).
    void Purge(int e, DWORD flags);
    /// Re-evaluates the handshake hold of end e after its input queue or size changed.
    void UpdateHold(int e);
    /// Starts a request of end e; it may finish at once.
    void Submit(int e, const TRequestPtr& r);

    /// Moves bytes as far as they go, ends satisfied requests, reports line changes.
    /// Call after every change of the model.
    void Settle();

  private:
    // PairTransfer.cpp
    class TMover;
    bool ServeReads(int e);
    bool Transfer(int e);
    bool Accept(int e, BYTE b);
    bool CanTransmit(int e) const;
    /// Puts the held byte and the output buffer on the line as far as it takes them.
    bool DrainOutput(int e);
    /// One byte of end e onto the line; false when the peer cannot take it now.
    bool Put(int e, BYTE b);
    void ExpireDeadlines(Clock::time_point now);
    std::optional<Clock::time_point> NextDeadline() const;
    // PairLines.cpp
    void ReportLineChanges();
    // PairState.cpp
    /// Ends end e's requests with status and marks it closed, without settling.
    void Shut(int e, DWORD status);
    void TimerLoop();

    std::condition_variable FTimerWake;
    std::optional<Clock::time_point> FArmed; ///< when the timer thread means to wake
    bool FStop = false;
    std::thread FTimer;
};

} // namespace qvirt::detail
