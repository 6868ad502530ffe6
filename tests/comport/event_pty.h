#pragma once
// A pty pair for the event-thread tests that run on a real tty (Linux).
#include <pty.h>
#include <unistd.h>

#include "event_fixture.h"

namespace quillon::eventtest {

/// A pty pair opened by the test; the port opens SlavePath.
struct TPty {
    int Master = -1;
    std::string SlavePath;

    TPty() {
        int slave = -1;
        char name[128] = {};
        if (openpty(&Master, &slave, name, nullptr, nullptr) != 0) return;
        SlavePath = name;
        close(slave); // the port opens its own
    }
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    /// Writes bytes as the far end of the line.
    void Send(const std::string& bytes) const {
        ASSERT_EQ(write(Master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    /// Hangs up the line, as pulling a USB adapter does.
    void CloseMaster() {
        if (Master >= 0) close(Master);
        Master = -1;
    }
    string DeviceName() const { return rtl::Utf8ToString(SlavePath); }
};

} // namespace quillon::eventtest
