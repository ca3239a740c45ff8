// Native threads as the thread framework needs them: start, ask whether still running,
// wait with a time-out, release the handle.
#pragma once

#include <cstdint>

namespace platform {

struct NativeThread;

using ThreadEntry = void (*)(void* arg);

// Starts a thread running entry(arg); null when the system refuses. On Windows the thread
// joins COM's multithreaded apartment before entry runs.
NativeThread* startThread(ThreadEntry entry, void* arg);

// Whether the thread has not yet returned from its entry routine.
bool threadStillActive(NativeThread* thread);

// True when the thread has ended within ms (kInfinite waits forever).
bool waitForThread(NativeThread* thread, uint32_t ms);

// Releases the handle. A thread still running goes on, detached.
void closeThread(NativeThread* thread);

// Whether the calling thread is the given one.
bool isCurrentThread(NativeThread* thread);

} // namespace platform
