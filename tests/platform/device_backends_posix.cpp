#include "hardware_end.h"
#include "pty_end.h"
#include "ser2net_end.h"
#include "uart_end.h"

namespace quillon_test {

namespace {

// A real port joins every list when one is named.
std::vector<Backend> WithHardware(std::vector<Backend> devices) {
    if (TestPort())
        devices.push_back({"hardware", [] { return std::unique_ptr<OtherEnd>(new HardwareEnd); }});
    return devices;
}

} // namespace

const std::vector<Backend>& Devices() {
    static const std::vector<Backend> all =
        WithHardware({{"pty", [] { return std::unique_ptr<OtherEnd>(new PtyEnd); }},
                      kVirtual,
                      {"rfc2217", [] { return std::unique_ptr<OtherEnd>(new Ser2netEnd); }, true}});
    return all;
}

const std::vector<Backend>& LineDevices() {
    static const std::vector<Backend> all =
        WithHardware({{"uart", [] { return std::unique_ptr<OtherEnd>(new UartEnd); }}, kVirtual});
    return all;
}

} // namespace quillon_test
