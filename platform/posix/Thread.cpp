#include "platform/Thread.h"
#include "platform/Sync.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>

namespace platform {

// The handle and the running thread share this state; whichever lets go last frees it.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended;
    bool exited = false;
    ThreadEntry entry = nullptr;
    void* arg = nullptr;
};

struct NativeThread {
    pthread_t id{};
    std::mutex joinMutex; // two waiters may finish at once; only one may join
    bool joined = false;
    std::shared_ptr<ThreadState> state;
};

namespace {
struct StartBlock {
    std::shared_ptr<ThreadState> state;
};

void* trampoline(void* p) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(p));
    std::shared_ptr<ThreadState> state = block->state;
    state->entry(state->arg);
    {
        std::lock_guard lock(state->mutex);
        state->exited = true;
    }
    state->ended.notify_all();
    return nullptr;
}
} // namespace

NativeThread* startThread(ThreadEntry entry, void* arg) {
    auto thread = std::make_unique<NativeThread>();
    thread->state = std::make_shared<ThreadState>();
    thread->state->entry = entry;
    thread->state->arg = arg;
    auto* block = new StartBlock{thread->state};
    if (pthread_create(&thread->id, nullptr, trampoline, block) != 0) {
        delete block;
        return nullptr;
    }
    return thread.release();
}

bool threadStillActive(NativeThread* thread) {
    std::lock_guard lock(thread->state->mutex);
    return !thread->state->exited;
}

bool waitForThread(NativeThread* thread, uint32_t ms) {
    {
        std::unique_lock lock(thread->state->mutex);
        auto done = [&] { return thread->state->exited; };
        if (ms == kInfinite)
            thread->state->ended.wait(lock, done);
        else if (!thread->state->ended.wait_for(lock, std::chrono::milliseconds(ms), done))
            return false;
    }
    // The entry routine has returned; reclaim the thread's resources once.
    std::lock_guard join(thread->joinMutex);
    if (!thread->joined && !pthread_equal(thread->id, pthread_self())) {
        pthread_join(thread->id, nullptr);
        thread->joined = true;
    }
    return true;
}

void closeThread(NativeThread* thread) {
    if (!thread)
        return;
    if (!thread->joined)
        pthread_detach(thread->id);
    delete thread;
}

bool isCurrentThread(NativeThread* thread) {
    return thread && pthread_equal(thread->id, pthread_self());
}

} // namespace platform
