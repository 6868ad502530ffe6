#pragma once
// A pty with a model of a serial driver behind it: the POSIX device's real code path, with
// the modem lines, counters and transmitter a pty lacks.
#include "pty_end.h"
#include "tests/support/UartModel.h"

#include <sys/ioctl.h>

namespace quillon_test {

class UartEnd : public PtyEnd {
  public:
    TUartModel model{pty.Master(), pty.Path()}; // before the device opens

    bool Drive(DWORD lines) override {
        model.Drive(Bits(lines));
        return true;
    }
    bool Glitch(DWORD lines) override {
        model.Glitch(Bits(lines));
        return true;
    }
    bool Ring() override {
        model.PulseRing();
        return true;
    }
    bool LineError(DWORD ce) override {
        model.CountErrors(ce);
        return true;
    }
    bool HoldTransmitter(bool busy) override {
        model.HoldTransmitter(busy);
        return true;
    }
    unsigned Looks() const override { return model.Looks(); }
    void AwaitLookAfter(unsigned looks) const override { model.AwaitLookAfter(looks); }
    void AwaitWatched() const override { model.AwaitSleepers(1); }
    bool Unplug() override {
        pty.CloseMaster();
        return true;
    }

  private:
    static int Bits(DWORD lines) {
        return ((lines & MS_CTS_ON) ? TIOCM_CTS : 0) | ((lines & MS_DSR_ON) ? TIOCM_DSR : 0) |
               ((lines & MS_RLSD_ON) ? TIOCM_CAR : 0);
    }
};

} // namespace quillon_test
