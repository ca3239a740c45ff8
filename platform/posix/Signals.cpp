#include "platform/Signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {
// The write end of the active watch's pipe; the handler only writes the signal's number.
volatile sig_atomic_t pipeWrite = -1;

extern "C" void onSignal(int number) {
    int saved = errno;
    if (pipeWrite >= 0) {
        unsigned char byte = static_cast<unsigned char>(number);
        [[maybe_unused]] ssize_t n = write(pipeWrite, &byte, 1);
    }
    errno = saved;
}

constexpr unsigned char kQuit = 0; // no signal has number 0: the watch is ending
} // namespace

struct TerminationWatch::Impl {
    int fds[2] = {-1, -1};
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    bool installed = false;
    std::thread watcher;
};

TerminationWatch::TerminationWatch(std::function<void(const char*)> onRequest)
    : impl_(std::make_unique<Impl>()) {
    if (pipe2(impl_->fds, O_CLOEXEC) != 0)
        return;
    pipeWrite = impl_->fds[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, &impl_->oldInt) != 0 ||
        sigaction(SIGTERM, &action, &impl_->oldTerm) != 0)
        return;
    impl_->installed = true;
    impl_->watcher = std::thread([this, onRequest = std::move(onRequest)] {
        for (;;) {
            unsigned char byte = kQuit;
            ssize_t n = read(impl_->fds[0], &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != 1 || byte == kQuit)
                return;
            onRequest(byte == SIGINT ? "SIGINT" : "SIGTERM");
        }
    });
}

TerminationWatch::~TerminationWatch() {
    if (impl_->installed) {
        sigaction(SIGINT, &impl_->oldInt, nullptr);
        sigaction(SIGTERM, &impl_->oldTerm, nullptr);
    }
    pipeWrite = -1;
    if (impl_->watcher.joinable()) {
        unsigned char quit = kQuit;
        [[maybe_unused]] ssize_t n = write(impl_->fds[1], &quit, 1);
        impl_->watcher.join();
    }
    for (int fd : impl_->fds)
        if (fd >= 0)
            close(fd);
}

bool TerminationWatch::active() const {
    return impl_->installed;
}

} // namespace platform
