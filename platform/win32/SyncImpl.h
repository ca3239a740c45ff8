// The Windows event's insides, shared by the backend's sources (the socket waiter waits for an
// event together with a socket's network events).
#pragma once

#include "platform/Sync.h"

#include <windows.h>

namespace platform {

struct Event::Impl {
    HANDLE handle;
};

} // namespace platform
