#include "server/engine/CoverLoader.h"

#include "common/Log.h"
#include "common/Murmur3.h"
#include "server/engine/Guarded.h"
#include "server/engine/WinampControlServerDelegate.h"
#include "server/wire/Messages.h"

uint64_t coverRequestKey(const CoverRequest& request) {
    const uint64_t texts =
        uint64_t(murmur3_x86_32(request.album, 0)) << 32 | murmur3_x86_32(request.artist, 0);
    const uint64_t tags =
        uint64_t(request.tag1) << 32 | uint64_t(request.tag2 & 0xFFFF) << 16 | request.tag3;
    return texts ^ tags;
}

std::vector<uint8_t> buildCoverReply(const CoverRequest& served) {
    wire::CoverMessage m;
    m.album = served.album;
    m.artist = served.artist;
    m.image = served.image;
    m.tag1 = served.tag1;
    m.tag2 = served.tag2;
    m.tag3 = served.tag3;
    return wire::encodeFrame(m);
}

// --- CoverSeenKeys -----------------------------------------------------------------------

bool CoverSeenKeys::insertIfNew(uint64_t key) {
    platform::ScopedLock hold(lock_);
    if (keys_.size() > kMaxKeys)
        keys_.clear();
    return keys_.insert(key).second;
}

void CoverSeenKeys::clear() {
    platform::ScopedLock hold(lock_);
    keys_.clear();
}

size_t CoverSeenKeys::size() {
    platform::ScopedLock hold(lock_);
    return keys_.size();
}

// --- CoverLoadThread ---------------------------------------------------------------------

CoverLoadThread::CoverLoadThread(CoverLoadCallback callback, void* context, CoverLoader& owner)
    : callback_(callback), context_(context), owner_(owner) {}

CoverLoadThread::~CoverLoadThread() {
    stopAndJoin();
}

void CoverLoadThread::assign(const CoverRequest& request) {
    platform::ScopedLock hold(requestLock_);
    current_.album = request.album;
    current_.artist = request.artist;
    current_.image = request.image;
    current_.tag1 = request.tag1;
    current_.tag2 = request.tag2;
    current_.tag3 = request.tag3;
    current_.requestedSize = request.requestedSize;
    requestEvent_.set();
}

void CoverLoadThread::Run() {
    // Sleeps until a request is assigned or a stop is asked for, whichever comes first: a
    // stop must not wait for a poll, since the session's connection thread stops every loader
    // thread while it holds the transport's delegate lock.
    while (platform::waitForEither(*stopEvent(), requestEvent_, platform::kInfinite) == 1) {
        platform::ScopedLock hold(requestLock_);
        // A lookup that throws loses its request, not the thread: no reply for it.
        const bool looked = runGuarded(
            LogKind::Error,
            [&] { return "cover lookup for album '" + current_.album + "' failed"; },
            [&] {
                callback_(current_.image, current_.album, current_.requestedSize, current_.artist,
                          context_);
            });
        if (!looked)
            current_.image.clear();
        requestEvent_.reset();
        // May assign the next pending request to this thread, signalling the event again.
        owner_.finishCoverRequest(*this);
    }
}

// --- CoverLoader -------------------------------------------------------------------------

CoverLoader::CoverLoader(CoverReplySink& sink) : sink_(sink) {}

CoverLoader::~CoverLoader() {
    resetCoverLoader();
}

bool CoverLoader::loadCover(std::vector<uint8_t>& image, std::string& album, uint16_t requestedSize,
                            std::string& artist, void* context) {
    auto* self = static_cast<CoverLoader*>(context);
    WinampControlServerDelegate* delegate = self->sink_.coverDelegate();
    if (delegate == nullptr)
        return false;
    return delegate->getAlbumCover(&image, &album, requestedSize, &artist);
}

void CoverLoader::queueCoverRequest(const CoverRequest& request) {
    platform::ScopedLock threads(threadsLock_);
    if (!sink_.coverSessionOpen())
        return; // its session has ended, and resetCoverLoader has run or waits for this lock
    if (!seenKeys_.insertIfNew(coverRequestKey(request)))
        return; // a repeat: it was served (or found nothing) already

    if (threads_.size() < kMaxThreads) {
        // A new thread even when one is idle, until there are four.
        auto thread = std::make_shared<CoverLoadThread>(&CoverLoader::loadCover, this, *this);
        threads_.push_back(thread);
        thread->assign(request);
        thread->Start();
        return;
    }

    CoverLoadThread* idle = nullptr;
    {
        platform::ScopedLock idleHold(idleLock_);
        if (!idle_.empty()) {
            idle = idle_.front();
            idle_.pop_front();
        } else {
            platform::ScopedLock pendingHold(pendingLock_);
            pending_.push_back(request);
        }
    }
    // Outside the idle and pending locks: the thread may still hold its request lock while
    // it finishes the pass that parked it.
    if (idle != nullptr)
        idle->assign(request);
}

void CoverLoader::finishCoverRequest(CoverLoadThread& thread) {
    if (!thread.current_.image.empty())
        runGuarded(
            LogKind::Error,
            [&] { return "cover reply for album '" + thread.current_.album + "' failed"; },
            [&] {
                const std::vector<uint8_t> frame = buildCoverReply(thread.current_);
                sink_.sendToSession(frame.data(), uint32_t(frame.size()));
            });

    platform::ScopedLock idleHold(idleLock_);
    platform::ScopedLock pendingHold(pendingLock_);
    if (!pending_.empty()) {
        CoverRequest next = std::move(pending_.front());
        pending_.pop_front();
        thread.assign(next); // request lock is ours already (recursive)
    } else {
        idle_.push_back(&thread);
    }
}

void CoverLoader::resetCoverLoader() {
    platform::ScopedLock threads(threadsLock_);
    for (auto& thread : threads_)
        thread->Stop(true);
    threads_.clear();
    {
        platform::ScopedLock idleHold(idleLock_);
        idle_.clear();
        platform::ScopedLock pendingHold(pendingLock_);
        pending_.clear();
    }
    seenKeys_.clear();
}

size_t CoverLoader::threadCount() {
    platform::ScopedLock hold(threadsLock_);
    return threads_.size();
}

size_t CoverLoader::idleCount() {
    platform::ScopedLock hold(idleLock_);
    return idle_.size();
}

size_t CoverLoader::pendingCount() {
    platform::ScopedLock idleHold(idleLock_);
    platform::ScopedLock hold(pendingLock_);
    return pending_.size();
}
