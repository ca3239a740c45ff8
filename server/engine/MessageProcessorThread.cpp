#include "server/engine/MessageProcessorThread.h"

#include "server/engine/WinampControlServer.h"

MessageProcessorThread::~MessageProcessorThread() {
    stopAndJoin();
    clear();
}

void MessageProcessorThread::enqueueAll(std::vector<wire::ReceivedMessage>& messages) {
    if (messages.empty())
        return;
    platform::ScopedLock hold(queueLock_);
    for (wire::ReceivedMessage& m : messages)
        queue_.push_back(std::move(m));
    messages.clear();
    queueEvent_.set();
}

void MessageProcessorThread::clear() {
    platform::ScopedLock hold(queueLock_);
    generation_.fetch_add(1);
    queue_.clear();
    queueEvent_.reset();
}

size_t MessageProcessorThread::queued() {
    platform::ScopedLock hold(queueLock_);
    return queue_.size();
}

void MessageProcessorThread::Run() {
    std::deque<wire::ReceivedMessage> batch;
    for (;;) {
        if (platform::waitForEither(*stopEvent(), queueEvent_, platform::kInfinite) != 1)
            return;
        for (;;) {
            uint64_t generation;
            {
                platform::ScopedLock hold(queueLock_);
                queueEvent_.reset();
                if (queue_.empty())
                    break;
                batch.swap(queue_);
                generation = generation_.load();
            }
            // A stop is seen between batches: the destructor clears the queue first, which
            // ends the current batch through the generation.
            while (!batch.empty()) {
                if (generation_.load() != generation) {
                    batch.clear();
                    break;
                }
                server_.dispatch(batch.front());
                batch.pop_front();
            }
        }
    }
}
