// libserialport as its documentation suggests for event-driven use: sp_wait for
// readable, then a non-blocking read of what is there.
#include "StackArgs.h"

#include <cstdio>
#include <libserialport.h>

namespace {

bool Check(sp_return r, const char* what) {
    if (r >= 0) return true;
    char* message = sp_last_error_message();
    std::fprintf(stderr, "libserialport stack: %s: %s\n", what, message);
    sp_free_error_message(message);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    using quillon::bench::TMode;
    const auto args = quillon::bench::ParseStackArgs(argc, argv);
    if (!args) return 2;
    sp_port* port = nullptr;
    if (!Check(sp_get_port_by_name(args->Device.c_str(), &port), "port") ||
        !Check(sp_open(port, SP_MODE_READ_WRITE), "open") ||
        !Check(sp_set_baudrate(port, 115200), "baud rate") ||
        !Check(sp_set_bits(port, 8), "bits") ||
        !Check(sp_set_parity(port, SP_PARITY_NONE), "parity") ||
        !Check(sp_set_stopbits(port, 1), "stop bits") ||
        !Check(sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE), "flow control"))
        return 1;
    sp_event_set* events = nullptr;
    if (!Check(sp_new_event_set(&events), "event set") ||
        !Check(sp_add_port_events(events, port, SP_EVENT_RX_READY), "events"))
        return 1;
    quillon::bench::SayReady();

    uint64_t count = 0;
    static char buf[65536];
    while (args->Mode == TMode::Idle || count < args->Count) {
        if (!Check(sp_wait(events, 0), "wait")) return 1;
        const sp_return n = sp_nonblocking_read(port, buf, sizeof buf);
        if (!Check(n, "read")) return 1;
        count += static_cast<uint64_t>(n);
        if (args->Mode == TMode::Echo && n > 0 &&
            !Check(sp_blocking_write(port, buf, static_cast<size_t>(n), 0), "write"))
            return 1;
    }
    if (args->Mode == TMode::Echo) sp_drain(port);
    quillon::bench::SayDone(count);
    sp_free_event_set(events);
    sp_close(port);
    sp_free_port(port);
    return 0;
}
