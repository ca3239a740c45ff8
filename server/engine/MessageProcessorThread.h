// Runs, one after another on its own thread, every received message that the network thread
// does not handle at once, so slow player calls never hold up the connections.
//
// Lock: the queue lock guards the queue only and is never held while a message is dispatched.
// The queue event is manual-reset and is reset under the queue lock whenever messages are
// taken, so a signal from an enqueue is never lost. The thread takes everything queued at
// once (one lock per batch, not per message: lock traffic is what limits pipelined requests);
// clear() bumps a generation that makes the thread drop the rest of a batch it already took,
// so nothing queued before a clear is dispatched after it.
#pragma once

#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"
#include "server/wire/Frame.h"

#include <atomic>
#include <deque>
#include <vector>

class WinampControlServer;

class MessageProcessorThread : public ThreadWinApi {
public:
    explicit MessageProcessorThread(WinampControlServer& server) : server_(server) {}
    ~MessageProcessorThread() override;

    void Run() override;

    // Connection thread: appends messages in order (taking them over) with one signal, so a
    // receive that completed many frames wakes the thread once, not once per frame.
    void enqueueAll(std::vector<wire::ReceivedMessage>& messages);
    // Drops every queued message and resets the queue event.
    void clear();
    size_t queued();

private:
    std::deque<wire::ReceivedMessage> queue_;
    std::atomic<uint64_t> generation_{0};
    platform::CriticalSection queueLock_;
    platform::Event queueEvent_{false};
    WinampControlServer& server_;
};
