#pragma once
// The test program's main thread as the components' main thread.

namespace quillon::test {

/// Runs the main loop until every event thread has ended (a dispatch an ended thread had
/// queued runs and returns at once); false if they do not end within a few seconds.
bool AwaitEventThreadsGone();

} // namespace quillon::test
