#pragma once
// A serial device over a tty file descriptor (a real port or a pty).
#include "platform/core/Device.h"
#include "platform/linux/tty/DcbTermios.h"
#include "platform/linux/tty/LineWatch.h"
#include "platform/linux/tty/TermiosIo.h"
#include "platform/requests/RequestEngine.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qwin::posix {

/// Requests finish in the calling thread when the tty allows. Otherwise the device is
/// driven by a thread that waits for one of its requests (a blocking call,
/// GetOverlappedResult, or WaitForSingleObject on a request's event): it sleeps in epoll
/// on the tty and an eventfd, and serves every pending request while it does. One thread
/// drives at a time. A helper thread drives only while transfers are pending that nobody
/// waits for, and gives way as soon as someone does. Modem-line changes come from a
/// LineWatch thread, present while line events are in the mask and the tty has modem
/// lines; it reports under the device's lock and wakes the driver. Lock order: mu_ alone;
/// a LineWatch is destroyed with mu_ released, since its thread takes mu_ to report.
class PosixDevice final : public detail::Device,
                          public detail::Pump,
                          public std::enable_shared_from_this<PosixDevice> {
  public:
    /// Takes an open tty already in raw mode, exclusive and non-blocking.
    PosixDevice(int fd, bool pty, const TtyImage& initial);
    ~PosixDevice() override;

    bool SetupComm(DWORD inQueue, DWORD outQueue) override;
    bool GetState(DCB& dcb) override;
    bool SetState(const DCB& dcb) override;
    bool GetTimeouts(COMMTIMEOUTS& t) override;
    bool SetTimeouts(const COMMTIMEOUTS& t) override;
    bool SetMask(DWORD mask) override;
    bool GetMask(DWORD& mask) override;
    bool WaitEvent(DWORD* events, OVERLAPPED* ov) override;
    bool Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) override;
    bool Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) override;
    bool OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) override;
    bool Purge(DWORD flags) override;
    bool Flush() override;
    bool ClearError(DWORD* errors, COMSTAT* stat) override;
    bool Escape(DWORD func) override;
    bool TransmitChar(char c) override;
    bool ModemStatus(DWORD* status) override;
    bool Properties(COMMPROP& prop) override;
    bool LowLatency(bool on) override;
    void Close() override;

    std::optional<DWORD> Await(detail::Event& ev, DWORD ms) override;

    /// Whether the eventfd and epoll set could be made; a device without them is unusable.
    bool Ready() const { return epollFd_ >= 0; }

  private:
    using Clock = detail::Clock;
    using Lock = std::unique_lock<std::mutex>;
    using Until = std::optional<Clock::time_point>;
    class Mover;

    // All of these run with mu_ held.
    bool Usable() const;
    /// Submits r, serves it at once when the tty allows; the answer of the call.
    bool Run(Lock& lock, const detail::TRequestPtr& r, DWORD* done);
    /// Drives the device in this thread, or waits while another does, until done() or
    /// until; returns done().
    bool DriveUntil(Lock& lock, const std::function<bool()>& done, Until until);
    /// Holds the driver's role until done(), until, or (the helper) someone waits.
    void Drive(Lock& lock, const std::function<bool()>& done, Until until, bool helper);
    void RunHelper();
    bool HelperWanted() const;
    void Help();
    void Serve();
    /// The events the tty shows; sleeping next, the driver may count on the input queue
    /// as last looked at, since epoll reports every arrival after that look.
    DWORD Observe(bool sleepsNext);
    /// The masked events the driver's counters and modem lines show since the last look.
    DWORD LineNews();
    bool ReadModem(DWORD& status);
    /// The bytes still to leave the wire: the output queue, or 1 while the transmitter
    /// still shifts out the last (TIOCSER_TEMT, where the driver tells); 0 once drained.
    int OutputLeft();
    /// Starts or stops the line watch as the mask asks; what to destroy after unlocking.
    std::unique_ptr<LineWatch> WatchLines();
    bool LineChanged(int error);
    void Lose();
    void Nudge();
    void Wake();
    bool TxDrainAwaited() const;
    Until NextDeadline();
    void WatchOutput(bool on);

    const int fd_;
    const bool pty_;
    int wakeFd_ = -1;
    int epollFd_ = -1;
    std::mutex mu_;
    std::condition_variable changed_; // a request ended, or the driver's role came free
    detail::TRequestEngine engine_;
    std::thread helper_;
    bool driving_ = false;
    bool helperDriving_ = false;
    int waiting_ = 0; // threads waiting to drive
    bool closed_ = false;
    bool lost_ = false;
    bool watchingOutput_ = true; // as registered at open

    DCB dcb_{};      // last set; keeps what termios cannot express
    TtyImage asked_; // the image last written, for a pty's framing
    DWORD inQueue_ = 0, outQueue_ = 0;
    bool countersKnown_ = false;
    LineCounters eventCounters_; // seen by the event wait
    LineCounters errorCounters_; // seen by ClearCommError
    std::optional<char> priority_;
    // The input queue as last looked at, less what reads took since; unknown once epoll
    // reports input, or when a read took more than was known.
    std::optional<DWORD> inputKnown_;
    bool countReported_ = false; // inputKnown_ was just reported: the next count may use it
    bool hasLines_ = false;      // the driver answers TIOCMGET
    std::unique_ptr<LineWatch> lineWatch_;
};

} // namespace qwin::posix
