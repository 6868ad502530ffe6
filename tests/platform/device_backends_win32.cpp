#include "device_fixture.h"

namespace quillon_test {

const std::vector<Backend>& Devices() {
    static const std::vector<Backend> all{kVirtual};
    return all;
}

const std::vector<Backend>& LineDevices() {
    return Devices();
}

} // namespace quillon_test
