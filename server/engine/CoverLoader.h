// Album covers for the app, served off the message thread. Each MSG_COVER_REQUEST (decoded
// by the wire codec) becomes a CoverRequest that the engine hands to queueCoverRequest. The
// loader drops repeats (seen keys), gives the request to one of at most four
// CoverLoadThreads, or queues it until a thread is free. A thread asks the delegate's
// getAlbumCover for the image and sends MSG_COVER with the image file's bytes through the
// CoverReplySink; an empty image sends nothing. A lookup that throws loses its request (no
// reply, the failure logged), not the thread.
//
// Locks, all recursive critical sections. Order, outer first:
//   threads lock -> idle lock -> pending lock,
//   a thread's request lock -> idle lock -> pending lock.
// The idle list and the pending queue are always examined and changed together, under the
// idle lock and then the pending lock, so a request is queued only while no thread is idle
// and a thread parks itself only while no request is pending. The seen-keys lock is innermost:
// nothing else is taken while it is held. queueCoverRequest takes an idle thread's request lock
// only after it has released the idle and pending locks. The load callback and the reply run with
// the thread's request lock held, so a request is never reassigned while it is served; the sink's
// sendToSession therefore takes the engine's session lock and the transport's locks inside a
// request lock (no engine path takes a request lock, so that nesting cannot invert), and
// queueCoverRequest asks the sink's coverSessionOpen (the engine's session lock) inside the
// threads lock.
#pragma once

#include "server/transport/ThreadWinApi.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class WinampControlServerDelegate;
class CoverLoader;

struct CoverRequest {
    std::string album;  // UTF-8
    std::string artist; // UTF-8; empty: the host picks the album's artist
    std::vector<uint8_t> image;
    uint32_t tag1 = 0;
    uint32_t tag2 = 0;
    uint8_t tag3 = 0;
    uint16_t requestedSize = 0;
};

// Identifies a request for de-duplication: the MurmurHash3 (x86 32-bit, seed 0) of the album
// in the high half and of the artist in the low half, XOR tag1 in the high half, the low 16
// bits of tag2 in bits 16..31 and tag3 in the low byte.
uint64_t coverRequestKey(const CoverRequest& request);

// The keys of requests seen since the last emptying, with its own (innermost) lock. It
// never holds more than kMaxKeys + 1 keys: an insert into a set that holds more than kMaxKeys
// empties it first.
class CoverSeenKeys {
public:
    static constexpr size_t kMaxKeys = 1024;

    // True when the key was not in the set (it is now).
    bool insertIfNew(uint64_t key);
    void clear();
    size_t size();

private:
    std::unordered_set<uint64_t> keys_;
    platform::CriticalSection lock_;
};

// MSG_COVER for a served request: the whole frame, header included. Never compressed.
std::vector<uint8_t> buildCoverReply(const CoverRequest& served);

// What the loader needs from the engine. WinampControlServer implements it.
class CoverReplySink {
public:
    // Sends a whole frame to the session connection, without the login check; false when
    // there is no session.
    virtual bool sendToSession(const uint8_t* bytes, uint32_t count) = 0;
    // The delegate at the time of the lookup; null means no lookup.
    virtual WinampControlServerDelegate* coverDelegate() = 0;
    // Whether there is a session to load covers for. The engine clears its session before it
    // resets the loader, so a request that asks this under the threads lock either starts
    // before the reset (which then stops it) or finds no session.
    virtual bool coverSessionOpen() = 0;

    virtual ~CoverReplySink() = default;
};

// image, album, requested size, artist (in and out), context. The thread looks only at the
// image afterwards, not at the result.
using CoverLoadCallback = bool (*)(std::vector<uint8_t>& image, std::string& album,
                                   uint16_t requestedSize, std::string& artist, void* context);

class CoverLoadThread : public ThreadWinApi {
public:
    CoverLoadThread(CoverLoadCallback callback, void* context, CoverLoader& owner);
    ~CoverLoadThread() override;

    void Run() override;

    // Copies the request in under the request lock and signals the request event.
    void assign(const CoverRequest& request);

private:
    friend class CoverLoader;

    CoverLoadCallback callback_;
    void* context_;
    platform::Event requestEvent_{false};
    CoverRequest current_; // guarded by requestLock_
    platform::CriticalSection requestLock_;
    CoverLoader& owner_;
};

class CoverLoader {
public:
    static constexpr size_t kMaxThreads = 4;

    explicit CoverLoader(CoverReplySink& sink);
    ~CoverLoader();
    CoverLoader(const CoverLoader&) = delete;
    CoverLoader& operator=(const CoverLoader&) = delete;

    // On the message-processing thread. Drops a request made when there is no session (one
    // dispatched as its session ended: it must neither start a thread that outlives the session
    // nor leave its key behind to refuse the next session's request) or whose key was seen
    // already; starts a new thread while there are fewer than four, else hands the request to
    // the first idle thread or queues a copy.
    void queueCoverRequest(const CoverRequest& request);

    // When the session connection closes: stops and destroys every thread (waiting for
    // lookups in progress) and forgets idle threads, pending requests and seen keys.
    void resetCoverLoader();

    // Snapshots for diagnostics and tests.
    size_t threadCount();
    size_t idleCount();
    size_t pendingCount();

private:
    friend class CoverLoadThread;

    static bool loadCover(std::vector<uint8_t>& image, std::string& album, uint16_t requestedSize,
                          std::string& artist, void* context);
    // On a loader thread with its request lock held: reply, then take the next pending
    // request or park the thread in the idle list.
    void finishCoverRequest(CoverLoadThread& thread);

    CoverReplySink& sink_;

    std::vector<std::shared_ptr<CoverLoadThread>> threads_;
    platform::CriticalSection threadsLock_;

    std::deque<CoverLoadThread*> idle_;
    platform::CriticalSection idleLock_;

    std::deque<CoverRequest> pending_;
    platform::CriticalSection pendingLock_;

    CoverSeenKeys seenKeys_;
};
