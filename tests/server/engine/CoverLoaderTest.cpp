#include "server/engine/CoverLoader.h"

#include "platform/Sync.h"
#include "tests/support/LogCapture.h"
#include "tools/testkit/RecordingDelegate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using testing_support::waitUntil;
using testkit::Answers;
using testkit::Op;
using testkit::RecordingDelegate;

CoverRequest request(std::string album, uint32_t tag1 = 0) {
    CoverRequest r;
    r.album = std::move(album);
    r.tag1 = tag1;
    r.requestedSize = 200;
    return r;
}

// Counts the frames the loader sends.
class CountingSink : public CoverReplySink {
public:
    explicit CountingSink(WinampControlServerDelegate* d) : delegate(d) {}
    bool sendToSession(const uint8_t*, uint32_t) override { return ++frames > 0; }
    WinampControlServerDelegate* coverDelegate() override { return delegate.load(); }
    bool coverSessionOpen() override { return true; }
    std::atomic<WinampControlServerDelegate*> delegate;
    std::atomic<size_t> frames{0};
};

// The delegate serves a cover for the albums a test names; every lookup waits while
// the gate is closed (it is counted before it waits).
class CoverLoaderTest : public ::testing::Test {
protected:
    CoverLoaderTest() {
        delegate.onCall(Op::GetAlbumCover, [this] { gate.wait(30000); });
    }
    void serve(std::initializer_list<std::string> albums) {
        delegate.edit([&](Answers& a) {
            for (const std::string& album : albums)
                a.albumCovers[album] = {1};
        });
    }
    uint64_t lookups() { return delegate.count(Op::GetAlbumCover); }

    platform::Event gate{true};
    RecordingDelegate delegate{RecordingDelegate::Recording::On};
};

TEST(CoverSeenKeysTest, EmptiedBeforeTheInsertThatFollows1025Keys) {
    CoverSeenKeys keys;
    EXPECT_TRUE(keys.insertIfNew(1));
    EXPECT_FALSE(keys.insertIfNew(1));
    for (uint64_t k = 2; k <= 1024; ++k)
        ASSERT_TRUE(keys.insertIfNew(k));
    EXPECT_FALSE(keys.insertIfNew(1)); // 1024 keys: still remembered
    EXPECT_TRUE(keys.insertIfNew(1025));
    EXPECT_EQ(keys.size(), 1025u);
    // With 1025 keys the next insert empties the set first, so an old key is new again.
    EXPECT_TRUE(keys.insertIfNew(1));
    EXPECT_EQ(keys.size(), 1u);
}

// A request with no delegate, no image or a lookup that throws loses only itself: nothing is
// sent for it and its thread serves later ones (a missing album stays seen). Until there are
// four, each request gets a new thread even while one is idle.
TEST_F(CoverLoaderTest, ARequestThatGetsNoImageLosesItselfNotItsThread) {
    serve({"B"});
    testing_support::LogCapture log;
    CountingSink sink(nullptr);
    CoverLoader loader(sink);
    loader.queueCoverRequest(request("A"));
    ASSERT_TRUE(waitUntil([&] { return loader.idleCount() == 1; }));
    sink.delegate = &delegate;
    loader.queueCoverRequest(request("missing"));
    ASSERT_TRUE(waitUntil([&] { return loader.idleCount() == 2; }));
    delegate.onCall(Op::GetAlbumCover, [] { throw std::runtime_error("no host"); });
    loader.queueCoverRequest(request("bad"));
    ASSERT_TRUE(waitUntil([&] { return loader.idleCount() == 3; }));
    EXPECT_TRUE(log.has(LogKind::Error, "cover lookup for album 'bad' failed"));
    delegate.onCall(Op::GetAlbumCover, nullptr);
    loader.queueCoverRequest(request("missing"));
    loader.queueCoverRequest(request("B"));
    loader.queueCoverRequest(request("B", 9));
    ASSERT_TRUE(waitUntil([&] { return sink.frames.load() == 2; }));
    EXPECT_EQ(lookups(), 4u); // no lookup without a delegate, none for the seen album
    EXPECT_EQ(loader.threadCount(), 4u);
}

// At most four threads: requests beyond wait for the first free one. A reset waits for the
// lookups in progress, stops the threads, drops what waits and forgets the keys seen.
TEST_F(CoverLoaderTest, ResetStopsThreadsDropsPendingAndForgetsKeys) {
    serve({"r0", "r1", "r2", "r3", "r4", "r5"});
    gate.reset();
    CountingSink sink(&delegate);
    CoverLoader loader(sink);
    for (int i = 0; i < 6; ++i)
        loader.queueCoverRequest(request("r" + std::to_string(i)));
    ASSERT_TRUE(waitUntil([&] { return lookups() == 4; }));
    EXPECT_EQ(loader.threadCount(), 4u);
    EXPECT_EQ(loader.pendingCount(), 2u);

    std::thread opener([&] {
        platform::sleepMs(20);
        gate.set();
    });
    loader.resetCoverLoader();
    opener.join();
    EXPECT_EQ(loader.threadCount(), 0u);
    EXPECT_EQ(loader.idleCount(), 0u);
    EXPECT_EQ(loader.pendingCount(), 0u);

    // Nothing runs after the reset.
    const auto done = std::pair(lookups(), sink.frames.load());
    EXPECT_LE(done.first, 6u);
    platform::sleepMs(120);
    EXPECT_EQ(std::pair(lookups(), sink.frames.load()), done);

    // The seen keys are gone: the first request is served again by a new thread.
    loader.queueCoverRequest(request("r0"));
    ASSERT_TRUE(waitUntil([&] { return sink.frames.load() == done.second + 1; }));
    EXPECT_EQ(loader.threadCount(), 1u);
}

} // namespace
