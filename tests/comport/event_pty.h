#pragma once
// A pty pair for the event-thread tests that run on a real tty (Linux).
#include "PtyPort.h"
#include "event_fixture.h"

namespace quillon::eventtest {

/// A pty pair whose slave only the port opens, so closing the master hangs up the line.
struct TPty : test::TPty {
    TPty() { CloseSlave(); }
};

} // namespace quillon::eventtest
