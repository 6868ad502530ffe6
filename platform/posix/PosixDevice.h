#pragma once
// A serial device over a tty file descriptor (a real port or a pty).
#include "platform/Device.h"
#include "platform/posix/DcbTermios.h"
#include "platform/posix/TermiosIo.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qwin::posix {

/// Requests that cannot finish at once are carried on by one worker thread per device,
/// started with the first of them; it sleeps in epoll on the tty (edge-triggered, so
/// queued input does not keep it awake) and an eventfd that wakes it for new requests.
class PosixDevice final : public detail::Device {
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
    void Close() override;

    /// Whether the eventfd and epoll set could be made; a device without them is unusable.
    bool Ready() const { return epollFd_ >= 0; }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::time_point Never = Clock::time_point::max();

    struct Request {
        OVERLAPPED* ov = nullptr;
        std::shared_ptr<detail::Event> event;
    };
    struct Transfer : Request {
        uint8_t* data = nullptr;
        DWORD count = 0, done = 0;
        Clock::time_point deadline = Never;    // total time-out
        std::chrono::milliseconds interval{0}; // read: longest gap between bytes, 0 = none
        Clock::time_point gapDeadline = Never;
        bool firstByteEnds = false; // read: ends as soon as anything arrived
    };
    struct Wait : Request {
        DWORD* events = nullptr;
    };

    // All of these run with mu_ held.
    bool Usable() const;
    bool Begin(Request& r, OVERLAPPED* ov);
    void Finish(Request& r, DWORD code, DWORD count);
    void FinishTransfer(std::optional<Transfer>& t, DWORD code);
    void Lose();
    bool StartWorker();
    void Wake();
    int ReadSome(Transfer& t);
    int WriteSome(Transfer& t);
    bool ReadEnded(const Transfer& t, Clock::time_point now) const;
    DWORD Observe(bool inputArrived, bool readGotBytes);
    void Signal(DWORD events);
    bool CheckTxEmpty();
    bool WaitNeedsDeadline() const; // a pending wait for the output draining
    void WatchOutput(bool on);      // whether freed output room wakes the worker
    Clock::time_point NextDeadline();
    void Progress(bool inputArrived);
    bool AwaitOwn(OVERLAPPED& ov, DWORD* done); // takes mu_ itself

    void Run();

    const int fd_;
    const bool pty_;
    int wakeFd_ = -1;
    int epollFd_ = -1;
    std::mutex mu_;
    std::condition_variable finished_; // any request ended
    std::thread worker_;
    bool closed_ = false;
    bool lost_ = false;
    bool watchingOutput_ = true; // as registered at open

    DCB dcb_{};      // last set; keeps what termios cannot express
    TtyImage asked_; // the image last written, for a pty's framing
    COMMTIMEOUTS timeouts_{};
    DWORD inQueue_ = 0, outQueue_ = 0;
    DWORD mask_ = 0;
    DWORD history_ = 0; // masked events that happened while no wait was pending
    int seenQueued_ = 0; // queued input already reported (EV_RXCHAR), less what was read since
    bool countersKnown_ = false;
    LineCounters eventCounters_; // seen by the event wait
    LineCounters errorCounters_; // seen by ClearCommError
    bool txBusy_ = false;        // output went out and has not been seen drained yet
    std::optional<char> priority_;
    std::optional<Transfer> read_, write_;
    std::optional<Wait> wait_;
};

} // namespace qwin::posix
