#include "platform/Sync.h"
#include "platform/posix/SyncImpl.h"

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace platform {

struct CriticalSection::Impl {
    pthread_mutex_t mutex;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&impl_->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

CriticalSection::~CriticalSection() {
    pthread_mutex_destroy(&impl_->mutex);
}
void CriticalSection::enter() {
    pthread_mutex_lock(&impl_->mutex);
}
void CriticalSection::leave() {
    pthread_mutex_unlock(&impl_->mutex);
}
bool CriticalSection::tryEnter() {
    return pthread_mutex_trylock(&impl_->mutex) == 0;
}

namespace {
// Waiting for either of two events: every set() also notifies this shared condition, so a
// two-event waiter needs no registration with the events it watches.
std::mutex gMultiMutex;
std::condition_variable gMultiCond;
} // namespace

int Event::Impl::pollDescriptor() {
    std::lock_guard lock(mutex);
    if (pipeRead >= 0)
        return pipeRead;
    int p[2];
    if (pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0)
        return -1;
    pipeRead = p[0];
    pipeWrite = p[1];
    if (signalled) {
        char c = 1;
        [[maybe_unused]] ssize_t r = write(pipeWrite, &c, 1);
    }
    return pipeRead;
}

Event::Event(bool initiallySet) : impl_(std::make_unique<Impl>()) {
    impl_->signalled = initiallySet;
}

Event::~Event() {
    if (impl_->pipeRead >= 0) {
        close(impl_->pipeRead);
        close(impl_->pipeWrite);
    }
}

void Event::set() {
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->signalled && impl_->pipeWrite >= 0) {
            char c = 1;
            // An empty pipe always takes one byte.
            [[maybe_unused]] ssize_t r = write(impl_->pipeWrite, &c, 1);
        }
        impl_->signalled = true;
    }
    impl_->cond.notify_all();
    std::lock_guard multi(gMultiMutex);
    gMultiCond.notify_all();
}

void Event::reset() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->signalled && impl_->pipeRead >= 0) {
        char c;
        [[maybe_unused]] ssize_t r = read(impl_->pipeRead, &c, 1);
    }
    impl_->signalled = false;
}

bool Event::wait(uint32_t ms) {
    std::unique_lock lock(impl_->mutex);
    // Polling (ms 0) and an already signalled event need no trip into the kernel.
    if (ms == 0 || impl_->signalled)
        return impl_->signalled;
    if (ms == kInfinite) {
        impl_->cond.wait(lock, [this] { return impl_->signalled; });
        return true;
    }
    return impl_->cond.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return impl_->signalled; });
}

static bool peek(Event::Impl* e) {
    std::lock_guard lock(e->mutex);
    return e->signalled;
}

int waitForEither(Event& first, Event& second, uint32_t ms) {
    // Lock order: the shared mutex, then an event's own. set() never holds both.
    std::unique_lock lock(gMultiMutex);
    auto ready = [&]() -> int {
        if (peek(first.impl()))
            return 0;
        if (peek(second.impl()))
            return 1;
        return -1;
    };
    int which = -1;
    if (ms == kInfinite) {
        gMultiCond.wait(lock, [&] { return (which = ready()) >= 0; });
        return which;
    }
    gMultiCond.wait_for(lock, std::chrono::milliseconds(ms),
                        [&] { return (which = ready()) >= 0; });
    return which;
}

} // namespace platform
