#pragma once
// In-memory null-modem pairs. Each pair has two ends with names of their own namespace:
// qwin::CreateFile(u"virtual:A", ...) opens end "A" like a serial device. Bytes written
// at one end arrive in the other end's input queue; RTS drives the peer's CTS, DTR the
// peer's DSR and carrier (RLSD). What a pty cannot do (ring, break, line errors,
// unplugging, queue limits) is driven through the objects below, which also let a test
// see what the component pushed to the device.
//
// Rates and frames are recorded, not simulated: bytes pass at once and unchanged. A full
// input queue (SetupComm size) stalls the sender as hardware flow control would; nothing
// is lost except what is sent while the peer end is closed. Output flow control (CTS,
// DSR, XON/XOFF with fOutX), the DTR/RTS modes, fNull and fAbortOnError act; fInX,
// fErrorChar, fDsrSensitivity and fTXContinueOnXoff are kept but do nothing.
#include "platform/WinApi.h"

#include <chrono>
#include <memory>
#include <string>

namespace qvirt {

namespace detail {
class TPairState;
}

/// Prefix of virtual device names: "virtual:" followed by an end's name.
inline constexpr char DevicePrefix[] = "virtual:";

/// How many times each driver operation was called on an end (successful or not), over
/// all opens, since the pair was created or the counts were reset.
struct TDriverCalls {
    unsigned Opens = 0;
    unsigned Closes = 0;
    unsigned SetupComm = 0;
    unsigned GetCommState = 0;
    unsigned SetCommState = 0;
    unsigned GetCommTimeouts = 0;
    unsigned SetCommTimeouts = 0;
    unsigned SetCommMask = 0;
    unsigned GetCommMask = 0;
    unsigned WaitCommEvent = 0;
    unsigned ReadFile = 0;
    unsigned WriteFile = 0;
    unsigned GetOverlappedResult = 0;
    unsigned PurgeComm = 0;
    unsigned FlushFileBuffers = 0;
    unsigned ClearCommError = 0;
    /// Also counts SetCommBreak and ClearCommBreak.
    unsigned EscapeCommFunction = 0;
    unsigned TransmitCommChar = 0;
    unsigned GetCommModemStatus = 0;
    unsigned GetCommProperties = 0;

    bool operator==(const TDriverCalls&) const = default;
};

/// Queue sizes in bytes; 0 means not set (unlimited input, no output buffer).
struct TQueueSizes {
    qwin::DWORD Input = 0;
    qwin::DWORD Output = 0;

    bool operator==(const TQueueSizes&) const = default;
};

/// The output lines an end drives (all low while it is closed).
struct TLineState {
    bool Dtr = false;
    bool Rts = false;
    bool Break = false;

    bool operator==(const TLineState&) const = default;
};

/// One end of a pair, seen from outside the device. A cheap copyable reference; every
/// member is safe from any thread, and stays usable (doing nothing) after the pair is gone.
class TEnd {
  public:
    /// The end's name ("A" for "virtual:A").
    std::string Name() const;
    /// The name to open it with: u"virtual:" + Name().
    qwin::string DeviceName() const;
    /// Whether a handle has the end open.
    bool IsOpen() const;

    /// Makes the receive side of this end report line errors (any CE_ flags, not 0; else
    /// std::invalid_argument): they show in ClearCommError, CE_RXPARITY, CE_FRAME and
    /// CE_OVERRUN raise EV_ERR, CE_BREAK raises EV_BREAK. Ignored while the end is closed.
    void InjectLineError(qwin::DWORD errors);
    /// Drives the ring indicator seen by this end (MS_RING_ON; EV_RING when it goes off).
    void SetRing(bool on);
    /// One ring: the indicator comes on and goes off again (one EV_RING).
    void PulseRing();
    /// Largest queue sizes SetupComm accepts (0: any), reported as dwMaxRxQueue/dwMaxTxQueue.
    void SetMaxQueueSizes(qwin::DWORD input, qwin::DWORD output);

    /// The DCB as last set (initially 9600 8N1, DTR and RTS enabled, no flow control).
    qwin::DCB State() const;
    /// The time-outs as last set (initially all 0).
    qwin::COMMTIMEOUTS Timeouts() const;
    /// The queue sizes as last set with SetupComm.
    TQueueSizes QueueSizes() const;
    /// The event mask as last set (0 while closed).
    qwin::DWORD EventMask() const;
    /// The output lines this end drives now.
    TLineState Lines() const;
    /// Bytes waiting in this end's input queue and output queue (pending writes included).
    TQueueSizes Queued() const;
    /// The driver calls made on this end.
    TDriverCalls Calls() const;
    /// Sets every call count back to 0.
    void ResetCalls();
    /// Blocks until an event wait (WaitCommEvent) is pending on this end; false when none
    /// is after timeout. Lets a test act exactly while a port's event thread waits.
    bool AwaitPendingWait(std::chrono::milliseconds timeout) const;

  private:
    friend class TPair;
    TEnd(std::shared_ptr<detail::TPairState> pair, int index);

    std::shared_ptr<detail::TPairState> FPair;
    int FIndex;
};

/// A pair of connected ends. Owns the pair: destroying the object (or Delete) removes it,
/// which ends it like an unplug and frees both names.
class TPair {
  public:
    /// An empty object that owns no pair.
    TPair() noexcept = default;
    ~TPair();
    TPair(TPair&& other) noexcept;
    TPair& operator=(TPair&& other) noexcept;
    TPair(const TPair&) = delete;
    TPair& operator=(const TPair&) = delete;

    /// The first end (named by CreatePair's first argument). std::logic_error when empty.
    TEnd A() const;
    /// The second end.
    TEnd B() const;

    /// Pulls the cable: pending waits, reads, writes and flushes of both ends fail with
    /// ERROR_ACCESS_DENIED at once, so does every later call on their handles (Close
    /// excepted), and opening either end fails with ERROR_FILE_NOT_FOUND until Plug.
    void Unplug();
    /// Makes the ends openable again; handles from before the unplug stay dead.
    void Plug();
    /// Whether the pair is plugged in.
    bool Plugged() const;
    /// Removes the pair now (as an unplug) and frees the names; the object becomes empty.
    void Delete() noexcept;
    /// Whether the object owns a pair.
    explicit operator bool() const noexcept { return FPair != nullptr; }

  private:
    friend TPair CreatePair(const std::string& nameA, const std::string& nameB);
    explicit TPair(std::shared_ptr<detail::TPairState> pair);
    detail::TPairState& Pair() const;

    std::shared_ptr<detail::TPairState> FPair;
};

/// Creates a pair whose ends open as "virtual:" + nameA and "virtual:" + nameB (the first
/// call registers the namespace with the platform). Names must be non-empty, distinct,
/// not begin with "virtual:" (std::invalid_argument) and not be in use by another pair
/// (std::system_error with EEXIST).
TPair CreatePair(const std::string& nameA, const std::string& nameB);

} // namespace qvirt
