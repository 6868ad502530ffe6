#pragma once
// A model of a Linux serial driver behind a pty slave, at the system-call boundary: the
// device code calls its modem-line and line-status ioctls through the platform's line
// seam, and this answers them for the modelled slave as the serial core does (tty_ioctl(4)):
//   TIOCMGET / TIOCMSET / TIOCMBIS / TIOCMBIC  the lines; DTR and RTS are the port's to set
//   TIOCMIWAIT   sleeps until a masked line's counter moves; ends with EINTR on a signal,
//                EIO when the line hangs up (as USB serial does when unplugged)
//   TIOCGICOUNT  the transition and error counters
//   TIOCSERGETLSR  TIOCSER_TEMT unless the transmitter is kept busy
//   TIOCGSERIAL / TIOCSSERIAL  the port's flags; ASYNC_LOW_LATENCY is kept, or ignored
//                as some USB drivers do
// Everything else, and every other descriptor, goes to the real ioctl. The test plays the
// far end; bytes still cross the pty as they would cross the wire.
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon_test {

class TUartModel {
  public:
    /// Models the driver of the pty whose master is master and slave is at slavePath.
    TUartModel(int master, const std::string& slavePath);
    ~TUartModel();
    TUartModel(const TUartModel&) = delete;
    TUartModel& operator=(const TUartModel&) = delete;

    /// The lines the far end drives (TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG): each that
    /// changes counts a transition, RI when it goes off (a ring ends on its trailing edge).
    void Drive(int lines);
    /// Raises and drops lines at once: counted, though a look at the levels sees nothing.
    void Glitch(int lines);
    /// One ring: RI on, then off.
    void PulseRing();
    /// The receiver counts line errors (CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK,
    /// CE_RXOVER). Framing, parity and break errors deliver a NUL, as raw mode does; an
    /// overrun comes with the byte that found the receiver full (a NUL here); a full input
    /// buffer delivers nothing.
    void CountErrors(unsigned ceFlags);
    /// Keeps the last byte in the shift register (TIOCSER_TEMT off) or lets it go.
    void HoldTransmitter(bool busy);
    /// Makes TIOCSSERIAL succeed without keeping ASYNC_LOW_LATENCY.
    void IgnoreLowLatency() { FIgnoreLowLatency = true; }
    /// Whether the port runs with ASYNC_LOW_LATENCY.
    bool LowLatency() const;
    /// The lines the port drives (TIOCM_DTR, TIOCM_RTS).
    int Driven() const;
    /// Threads asleep in TIOCMIWAIT, and a wait until there are at least n.
    int Sleepers() const;
    void AwaitSleepers(int n) const;
    /// How many times the counters were read (TIOCGICOUNT): each is a look at the line.
    unsigned Looks() const;
    /// Returns once the counters were read again after looks.
    void AwaitLookAfter(unsigned looks) const;

  private:
    struct Counters {
        unsigned cts = 0, dsr = 0, dcd = 0, rng = 0;
        unsigned frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    static int Driver(int fd, unsigned long request, void* arg);
    bool Models(int fd) const;
    int Answer(int fd, unsigned long request, void* arg);
    int WaitForChange(int fd, unsigned long mask);
    void SetFar(int lines);
    void WakeSleepers();

    const int FMaster;
    dev_t FDevice = 0;
    mutable std::mutex FMutex;
    int FFar = 0;
    int FDriven = 0;
    bool FBusy = false;
    bool FIgnoreLowLatency = false;
    int FFlags = 0; // ASYNC_ flags
    Counters FCounts;
    std::vector<int> FSleepers; // an eventfd per sleeping TIOCMIWAIT
    unsigned FLooks = 0;
    mutable std::condition_variable FLooked; // a look, or a sleeper came or went
};

} // namespace quillon_test
