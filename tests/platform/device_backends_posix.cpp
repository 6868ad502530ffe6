#include "pty_end.h"
#include "ser2net_end.h"

namespace quillon_test {

const std::vector<Backend>& Devices() {
    static const std::vector<Backend> all{
        {"pty", [] { return std::unique_ptr<OtherEnd>(new PtyEnd); }},
        kVirtual,
        {"rfc2217", [] { return std::unique_ptr<OtherEnd>(new Ser2netEnd); }, true}};
    return all;
}

} // namespace quillon_test
