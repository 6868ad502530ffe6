#pragma once
// The test program's main thread as the components' main thread: synchronised event
// dispatches wait for it, so it serves its loop while it waits for their threads.
#include "rtl/MainLoop.h"

namespace quillon_test {

/// Serves loop until every thread has ended; false if some still run after 10 s.
bool AwaitThreadsGone(rtl::TPlainLoop& loop = rtl::PlainLoop());

} // namespace quillon_test
