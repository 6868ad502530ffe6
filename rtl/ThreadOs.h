#pragma once
// Inside rtl: what a thread's priority needs from the operating system (one source per
// system, chosen in CMake).
#include "rtl/Thread.h"

namespace rtl::detail {

/// The calling thread's system identifier, as SetThreadPriority takes it.
int CurrentThreadId();
/// Applies what the process may set; without the privilege the thread keeps its priority.
void SetThreadPriority(int threadId, TThreadPriority p);

} // namespace rtl::detail
