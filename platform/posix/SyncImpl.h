// The POSIX event's insides, shared by the backend's sources (the socket waiter polls an
// event together with sockets).
#pragma once

#include "platform/Sync.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct Event::Impl {
    std::mutex mutex;
    std::condition_variable cond;
    bool signalled = false;
    // A pipe that holds one byte exactly while the event is set, so that poll can wait for the
    // event and sockets at once. Made on first use; most events are never polled.
    int pipeRead = -1;
    int pipeWrite = -1;

    // The descriptor that is readable while the event is set; -1 when no pipe could be made.
    int pollDescriptor();
};

} // namespace platform
