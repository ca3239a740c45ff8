// Requests to end the process from outside: Ctrl-C and SIGTERM on POSIX, the console's Ctrl-C,
// Ctrl-Break and close events on Windows. The callback never runs inside a signal handler: it
// runs on a thread of the watch's own, once per request, with the name of what arrived.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class TerminationWatch {
public:
    explicit TerminationWatch(std::function<void(const char* what)> onRequest);
    // Restores the previous handling; a request arriving afterwards ends the process the
    // usual way.
    ~TerminationWatch();
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    // False when the handlers could not be installed.
    bool active() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
