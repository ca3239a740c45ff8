// Apps that read slowly or not at all while replies and pushes keep coming.
#include "tests/server/engine/EngineFixture.h"

#include <atomic>
#include <map>
#include <optional>
#include <random>
#include <thread>

namespace engine_test {
namespace {

constexpr size_t kCoverSize = 512 * 1024;
constexpr uint32_t kCovers = 24; // 12 MB: more than the sockets of a stuck app hold
constexpr uint32_t kLists = 6;
constexpr uint32_t kPushes = 3000;
constexpr uint32_t kWait = 20000; // generous: a sanitizer build on a busy machine

template <class M> std::optional<M> as(const ReceivedMessage& m) {
    M d;
    return m.type == M::kType && d.decode(m.payload.data(), m.payload.size()) ? std::optional(d)
                                                                              : std::nullopt;
}

std::string album(uint32_t i) {
    return "album " + std::to_string(i);
}

// Bytes that do not compress, different for every cover.
Bytes coverImage(uint32_t i) {
    std::mt19937 random(i + 1);
    Bytes image(kCoverSize);
    for (auto& b : image)
        b = uint8_t(random());
    return image;
}

TrackInfo pushedTrack(uint32_t i) {
    TrackInfo t;
    t.index = int32_t(i);
    t.name = std::string(i % 200, 'n') + std::to_string(i);
    t.artist = "artist " + std::to_string(i * 7);
    return t;
}

class SlowReader : public Engine {
protected:
    SlowReader() {
        fake.edit([](Answers& a) {
            a.nowPlaying.emplace(4000);
            for (uint32_t i = 0; i < 4000; ++i) {
                (*a.nowPlaying)[i].index = int32_t(i);
                (*a.nowPlaying)[i].displayText = "track " + std::to_string(i * 2654435761u);
            }
            for (uint32_t i = 0; i < kCovers; ++i)
                a.albumCovers[album(i)] = coverImage(i);
        });
    }
    void askForCoversAndLists(Peer& app, uint32_t covers = kCovers) {
        for (uint32_t i = 0; i < covers; ++i) {
            app.send(CoverRequestMessage{
                .album = album(i % kCovers), .artist = {}, .tag1 = i, .requestedSize = 200});
            if (i < kLists)
                app.query(QUERY_NOW_PLAYING);
        }
    }
    // Pushes track records from a thread of its own, as the player's thread does.
    std::thread pusher() {
        return std::thread([this] {
            for (uint32_t i = 0; i < kPushes; ++i, ++pushed)
                server.sendTrackInfo(pushedTrack(i));
        });
    }
    // Logs in with keep-alive and waits until the app's backlog passes `bytes`.
    std::unique_ptr<Peer> stuckApp(size_t bytes) {
        auto app = std::make_unique<Peer>(port);
        EXPECT_EQ(app->login("", 1, 1), 1);
        askForCoversAndLists(*app);
        const uint32_t id = server.sessionConnection();
        EXPECT_TRUE(waitUntil([&] { return server.transport().queuedBytes(id) > bytes; }, kWait))
            << server.transport().queuedBytes(id) << " bytes queued";
        return app;
    }
    std::atomic<uint32_t> pushed{0};
};

TEST_F(SlowReader, GetsEveryMessageWholeAndInOrderThroughPartialSends) {
    auto app = std::make_unique<Peer>(port);
    ASSERT_EQ(app->login("", 1), 1);
    askForCoversAndLists(*app);
    std::thread pushing = pusher();
    // Once the socket is full, each of the connection's sends is taken only in part.
    const uint32_t id = server.sessionConnection();
    EXPECT_TRUE(waitUntil([&] { return server.transport().queuedBytes(id) > (1u << 20); }, kWait));

    static const size_t kPieces[] = {1, 7, 4093, 13, 1021, 333, 2, 8191, 517};
    FrameSplitter splitter;
    std::vector<TrackInfo> tracks;
    std::vector<std::vector<IndexedText>> lists;
    std::map<uint32_t, CoverMessage> covers;
    uint8_t buffer[8192];
    const uint32_t start = platform::tickCount();
    for (size_t reads = 0;
         tracks.size() < kPushes || lists.size() < kLists || covers.size() < kCovers; ++reads) {
        ASSERT_LT(platform::tickCount() - start, 4 * kWait)
            << tracks.size() << " pushes, " << lists.size() << " lists, " << covers.size()
            << " covers";
        if (reads % 64 == 0)
            platform::sleepMs(1);
        if (platform::selectReadable(app->client.handle(), 100000) != 1)
            continue;
        int n = platform::recvSome(app->client.handle(), buffer, kPieces[reads % 9]);
        ASSERT_GT(n, 0) << "the server closed the connection";
        splitter.append(buffer, size_t(n));
        ReceivedMessage m;
        while (splitter.next(m)) {
            if (m.type == MSG_COMPRESSED) {
                ReceivedMessage inner;
                ASSERT_TRUE(openCompressed(m.payload.data(), m.payload.size(), inner));
                m = std::move(inner);
            }
            if (auto track = as<TrackInfoMessage>(m))
                tracks.push_back(track->track);
            if (auto list = as<NowPlayingListMessage>(m))
                lists.push_back(list->entries);
            if (auto cover = as<CoverMessage>(m))
                covers[cover->tag1] = *cover;
        }
    }
    pushing.join();
    for (uint32_t i = 0; i < kPushes; ++i)
        ASSERT_EQ(tracks[i], pushedTrack(i)) << "push " << i;
    std::vector<IndexedText> expected;
    fake.edit([&](Answers& a) {
        for (const TrackInfo& t : *a.nowPlaying)
            expected.push_back({uint32_t(t.index), t.displayText});
    });
    for (const auto& list : lists)
        EXPECT_TRUE(list == expected);
    for (uint32_t i = 0; i < kCovers; ++i)
        EXPECT_TRUE(covers[i].album == album(i) && covers[i].image == coverImage(i)) << i;
}

// A stuck app holds up neither the processing thread nor a pushing thread; its backlog grows
// until a takeover (the new app is served at once), the backlog limit (past it by one cover at
// most) or the keep-alive ends its session.
TEST_F(SlowReader, AStuckAppHoldsUpNoOneAndATakeoverTheBacklogLimitOrTheKeepaliveEndsIt) {
    server.keepalive().setClock(clock);
    server.setAllowKick(true);
    auto stuck = stuckApp(1u << 20);
    stuck->query(QUERY_PLAYER_STATUS);
    std::thread pushing = pusher();
    EXPECT_TRUE(fake.waitForCount(Op::GetPlayerStatus, 1, kWait));
    EXPECT_TRUE(waitUntil([&] { return pushed == kPushes; }, kWait));
    pushing.join();

    auto next = std::make_unique<Peer>(port);
    ASSERT_EQ(next->login(""), 1);
    next->query(QUERY_PLAYER_STATUS);
    EXPECT_EQ(next->nextOf(MSG_PLAYER_STATUS, kWait).type, uint32_t(MSG_PLAYER_STATUS));
    EXPECT_TRUE(waitUntil([&] { return server.transport().connectionCount() == 1; }, kWait));

    constexpr size_t kLimit = 2u << 20;
    server.transport().setSendBacklogLimit(kLimit);
    askForCoversAndLists(*next, 100); // all new requests: covers pile up past the limit
    ASSERT_TRUE(log.waitFor(LogKind::Connection, "bytes unread", kWait));
    EXPECT_TRUE(fake.waitFor("onClientDisconnected()", kWait));
    size_t unread = 0;
    for (const auto& [kind, text] : log.events())
        if (text.find(" bytes unread") != std::string::npos)
            unread = std::stoul(text.substr(text.find("left ") + 5));
    EXPECT_GT(unread, kLimit);
    EXPECT_LE(unread, kLimit + kCoverSize + 64);
    std::printf("stuck app past the backlog limit: ended with %zu bytes unread (limit %zu)\n",
                unread, kLimit);

    server.transport().setSendBacklogLimit(TcpServer::kDefaultSendBacklogLimit);
    stuck = stuckApp(512u << 10);
    clock.advance(2001);
    EXPECT_TRUE(waitUntil([&] { return server.transport().connectionCount() == 0; }, kWait));
    EXPECT_EQ(server.sessionConnection(), 0u);
}

} // namespace
} // namespace engine_test
