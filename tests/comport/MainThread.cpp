// The test program's main thread is the components' main thread: synchronised event
// dispatches wait for it instead of running on whichever thread first touched the loop.
#include "tests/support/MainThreadTest.h"

namespace {

[[maybe_unused]] auto* const kMainThread =
    ::testing::AddGlobalTestEnvironment(new quillon_test::TMainThreadEnvironment);

} // namespace
