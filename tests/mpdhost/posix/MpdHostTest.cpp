// The whole stack against a real mpd: the client library, the server, the bridge, the MPD
// player and an mpd started by the test on 127.0.0.1 with its own music. What the app sees is
// checked against what MPD itself then reports.
#include "client/RemoteClient.h"
#include "linuxhost/LinuxHost.h"
#include "mpdclient/Connection.h"
#include "mpdhost/MpdBackend.h"
#include "server/wire/Commands.h"
#include "server/wire/Messages.h"
#include "tests/support/TestSocket.h"
#include "tools/testkit/posix/MpdServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using mpd_test::MpdServer;
using remote::ClientStatus;
using testing_support::waitUntil;
using namespace std::string_literals;

namespace {

constexpr uint32_t kWaitMs = 10000;

// Width and height of a baseline JPEG (its SOF0 segment); 0, 0 when there is none.
std::pair<int, int> jpegSize(const std::vector<uint8_t>& j) {
    for (size_t i = 2; i + 9 < j.size(); ++i)
        if (j[i] == 0xFF && j[i + 1] == 0xC0)
            return {j[i + 7] << 8 | j[i + 8], j[i + 5] << 8 | j[i + 6]};
    return {0, 0};
}

class MpdHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string missing;
        if (!mpd_test::toolsPresent(missing))
            GTEST_SKIP() << "MPD tests skipped: " << missing;
        server = std::make_unique<MpdServer>(mpd_test::standardSongs());
        ASSERT_TRUE(server->start()) << server->problem();
        options.dataDir = (server->dir() / "data").string();
        options.settings.port = 0;
        options.settings.bonjour = false;
        options.mpd = server->address();
        out.open(server->dir() / "out");
        err.open(server->dir() / "err");
    }
    void TearDown() override {
        if (app.connected())
            app.close();
        if (host) {
            host->stop();
            running.join();
        }
        server.reset();
    }

    void startHost() {
        host = std::make_unique<linuxhost::LinuxHost>(options, out, err);
        running = std::thread([this] { host->run(); });
        ASSERT_TRUE(waitUntil([&] { return host->port() != 0; }, kWaitMs));
        ASSERT_EQ(app.connect("127.0.0.1", host->port(), kWaitMs), ClientStatus::Ok);
        ASSERT_EQ(app.login("", true, 0, kWaitMs), ClientStatus::Ok);
        std::string error;
        mpd = mpdclient::Connection::open(server->address(), kWaitMs, error);
        ASSERT_TRUE(mpd) << error;
    }

    template <class M> std::optional<M> ask(uint8_t sub, uint32_t parameter = 0) {
        wire::ReceivedMessage m;
        if (!app.query(sub, parameter) || app.waitForType(M::kType, m, kWaitMs) != ClientStatus::Ok)
            return std::nullopt;
        return remote::decodeAs<M>(m);
    }
    // The next message of type M that `match` accepts.
    template <class M> std::optional<M> next(const std::function<bool(const M&)>& match) {
        wire::ReceivedMessage m;
        std::optional<M> found;
        auto status = app.waitFor(
            [&](const wire::ReceivedMessage& r) {
                found = r.type == M::kType ? remote::decodeAs<M>(r) : std::nullopt;
                return found && match(*found);
            },
            m, kWaitMs);
        return status == ClientStatus::Ok ? found : std::nullopt;
    }
    // Adds every file of a selection (or one item of it) to a list, at the end or a position.
    void add(std::array<std::string, 4> texts, uint32_t playlist = 0xFFFFFFFF,
             uint32_t item = 0xFFFFFFFF, uint32_t position = 0xFFFFFFFE) {
        uint32_t mask = position == 0xFFFFFFFE ? 0 : wire::LibraryAddExMessage::kPositionBit;
        for (uint32_t i = 0; i < 4; ++i)
            mask |= texts[i].empty() ? 0 : 1u << i;
        ASSERT_TRUE(app.send(wire::LibraryAddExMessage{playlist, mask, item, texts, position}));
    }
    void command(uint8_t c, uint32_t argument = 0) { ASSERT_TRUE(app.command(c, argument)); }
    // Whether a status push with this play state (0 playing, 2 stopped) arrives.
    bool statusPushed(uint32_t playState) {
        return next<wire::PlayerStatusMessage>(
                   [&](auto& s) { return s.status.playState == playState; })
            .has_value();
    }
    // What MPD itself reports, once `cond` holds for it.
    bool mpdReaches(const std::function<bool(const mpdclient::StatusInfo&)>& cond) {
        return waitUntil(
            [&] {
                mpdclient::StatusInfo s;
                return mpd->status(s) && cond(s);
            },
            kWaitMs);
    }
    std::vector<std::string> queueTitles() {
        std::vector<mpdclient::SongInfo> songs;
        mpd->queue(songs);
        std::vector<std::string> titles;
        for (const auto& s : songs)
            titles.push_back(s.title);
        return titles;
    }
    int32_t sticker(const std::string& uri, const char* name) {
        std::vector<std::pair<std::string, std::string>> values;
        bool disabled = false;
        mpd->stickers(name, values, disabled);
        for (const auto& [u, v] : values)
            if (u == uri)
                return std::stoi(v);
        return 0;
    }

    std::unique_ptr<MpdServer> server;
    linuxhost::HostOptions options;
    // What the host prints, a line at a time and flushed: read from the files while it runs.
    std::ofstream out, err;
    std::string printed(const char* name) {
        std::ifstream in(server->dir() / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool said(const std::string& text) { return printed("out").find(text) != std::string::npos; }
    std::unique_ptr<linuxhost::LinuxHost> host;
    std::thread running;
    remote::RemoteClient app;
    std::unique_ptr<mpdclient::Connection> mpd;
};

TEST_F(MpdHostTest, TheLibraryPlaylistsStickersAndAnMpdRestartUnderALoggedInApp) {
    startHost();
    EXPECT_TRUE(
        said("MPD at 127.0.0.1:" + std::to_string(server->port()) + ": 17 tracks, 0 playlists"))
        << printed("out");
    // The library is MPD's database in the player's own model, listed with the player's own
    // search (drill-downs: the bridge's and the search's tests, tags: the mapping's).
    auto artists = ask<wire::LibraryListMessage>(wire::QUERY_ARTISTS);
    ASSERT_TRUE(artists);
    EXPECT_EQ(std::string(artists->entries.begin(), artists->entries.end()),
              "Anna Berg\0Björk Ensemble\0Loner\0Salt/Pepper [live]\0Various Artists\0Zed\0"s);
    // Covers from a folder's picture and from an embedded one, at both sizes.
    uint32_t tag = 0;
    for (auto [album, size, side] :
         {std::tuple{"First Light", 200, 300}, {"First Light", 64, 96}, {"Blå", 65, 300}}) {
        wire::CoverRequestMessage r;
        r.album = album;
        r.requestedSize = uint16_t(size);
        r.tag1 = ++tag;
        ASSERT_TRUE(app.send(r));
        auto cover = next<wire::CoverMessage>([&](auto& x) { return x.tag1 == tag; });
        ASSERT_TRUE(cover) << album;
        EXPECT_EQ(jpegSize(cover->image), std::pair(side, side)) << album;
    }

    // A stored playlist made, filled and deleted through the app.
    ASSERT_TRUE(app.send(wire::CreatePlaylistMessage{"Mix ünd Match"}));
    std::vector<std::string> names;
    ASSERT_TRUE(waitUntil([&] { return mpd->playlists(names) && names.size() == 1; }, kWaitMs));
    EXPECT_EQ(names[0], "Mix ünd Match");
    auto lists = ask<wire::PlaylistsMessage>(wire::QUERY_PLAYLISTS);
    ASSERT_TRUE(lists);
    ASSERT_EQ(lists->playlists.size(), 1u);
    const uint32_t id = uint32_t(lists->playlists[0].id);
    add({"", "Björk Ensemble", "Blå", ""}, id);
    std::vector<std::string> uris;
    ASSERT_TRUE(
        waitUntil([&] { return mpd->playlistSongs(names[0], uris) && uris.size() == 3; }, kWaitMs));

    // A rating goes to MPD's stickers; the rating fill finds the file by it.
    add({"", "Loner", "", ""});
    ASSERT_TRUE(waitUntil([&] { return queueTitles().size() == 2; }, kWaitMs));
    const auto titles = queueTitles();
    command(wire::CMD_SET_INDEX,
            uint32_t(std::find(titles.begin(), titles.end(), "Again") - titles.begin()));
    ASSERT_TRUE(waitUntil(
        [&] {
            auto s = ask<wire::TrackInfoMessage>(wire::QUERY_TRACK_INFO, 0xFFFFFFFF);
            return s && s->track.name == "Again";
        },
        kWaitMs));
    ASSERT_TRUE(app.send(wire::SetRatingMessage{4}));
    ASSERT_TRUE(waitUntil(
        [&] { return sticker("Singles/Loner - Again.flac", mpdhost::kRatingSticker) == 4; },
        kWaitMs));
    wire::FillNowPlayingMessage fill{0, 3, 1}; // rated 3 or higher
    ASSERT_TRUE(app.send(fill));
    ASSERT_TRUE(
        waitUntil([&] { return queueTitles() == std::vector<std::string>{"Again"}; }, kWaitMs));

    // A track played to its end counts a play; the never-played fill leaves it out.
    command(wire::CMD_PLAY);
    ASSERT_TRUE(waitUntil(
        [&] { return sticker("Singles/Loner - Again.flac", mpdhost::kPlayCountSticker) == 1; },
        kWaitMs));
    fill.kind = 1;
    ASSERT_TRUE(app.send(fill));
    ASSERT_TRUE(waitUntil([&] { return queueTitles().size() == 16; }, kWaitMs));

    command(wire::CMD_DELETE_PLAYLIST, id);
    ASSERT_TRUE(waitUntil([&] { return mpd->playlists(names) && names.empty(); }, kWaitMs));

    // A database update, then MPD gone and back under a logged-in app.
    ASSERT_TRUE(
        server->addSong({"New/fresh.flac", "Newcomer", "Debut", "Fresh", "Pop", "", "", 1, 2}));
    ASSERT_TRUE(mpd->update());
    ASSERT_TRUE(waitUntil(
        [&] {
            auto now = ask<wire::LibraryListMessage>(wire::QUERY_ARTISTS);
            return now && std::string(now->entries.begin(), now->entries.end()).find("Newcomer") !=
                              std::string::npos;
        },
        kWaitMs));
    command(wire::CMD_PLAY); // the never-played fill's first entry
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.state == mpdclient::PlayState::Playing; }));
    const uint16_t port = server->port();
    mpd.reset();
    server->stop();
    // The app hears that the player stopped; calls fail without an answer.
    ASSERT_TRUE(statusPushed(2)); // stopped
    const std::string at = "MPD at 127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(waitUntil([&] { return said("lost " + at); }, kWaitMs));
    wire::CoverRequestMessage cover; // an album never asked for: MPD is not asked now
    cover.album = "Second Wind";
    cover.requestedSize = 64;
    ASSERT_TRUE(app.send(cover));
    ASSERT_TRUE(server->start(port)) << server->problem();
    ASSERT_TRUE(waitUntil([&] { return said(at + " is back: "); }, kWaitMs)) << printed("out");
    // One line for the outage: the retries that fail while it lasts print nothing.
    EXPECT_FALSE(said("trying again")) << printed("out");
    std::string error;
    mpd = mpdclient::Connection::open(server->address(), kWaitMs, error);
    command(wire::CMD_VOLUME, 65535u << 16);
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.volume == 100; }));
    EXPECT_TRUE(app.connected());
}

TEST_F(MpdHostTest, PlaybackQueueEditsVolumeShuffleAndRepeatReachMpd) {
    startHost();
    add({"", "Anna Berg", "First Light", ""});
    ASSERT_TRUE(waitUntil([&] { return queueTitles().size() == 4; }, kWaitMs));
    // Paused, the two-second tracks stay where the test puts them, however busy the machine.
    command(wire::CMD_PLAY);
    ASSERT_TRUE(statusPushed(0)); // playing
    // (The first may have ended before the pause arrived: the first entry is chosen again.)
    command(wire::CMD_PLAY_PAUSE);
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.state == mpdclient::PlayState::Paused; }));
    command(wire::CMD_SET_INDEX, 0);
    command(wire::CMD_SEEK, 1999);
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.songPos == 0 && s.elapsedMs == 1000; }));
    command(wire::CMD_NEXT); // the next entry from its beginning, still paused
    ASSERT_TRUE(mpdReaches([](auto& s) {
        return s.songPos == 1 && s.elapsedMs < 1000 && s.state == mpdclient::PlayState::Paused;
    }));
    command(wire::CMD_VOLUME, 32768u << 16); // the level in the high half
    command(wire::CMD_SHUFFLE, 1);
    command(wire::CMD_REPEAT, 1);
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.volume == 50 && s.random && s.repeat; }));
    // Read back through the app: 50 % on the wire, shuffle, repeat of the list.
    EXPECT_TRUE(waitUntil(
        [&] {
            auto status = ask<wire::PlayerStatusMessage>(wire::QUERY_PLAYER_STATUS);
            return status && status->status.volume == 32767 && status->status.shuffle == 1 &&
                   status->status.repeatMode == 2;
        },
        kWaitMs));
    // An entry inserted at the start; the first removed again.
    add({"", "Anna Berg", "Second Wind", ""}, 0xFFFFFFFF, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return queueTitles().size() == 5; }, kWaitMs));
    EXPECT_EQ(queueTitles()[0], "Gale");
    command(wire::CMD_REMOVE, 0);
    ASSERT_TRUE(waitUntil([&] { return queueTitles().size() == 4; }, kWaitMs));
    command(wire::CMD_STOP);
    ASSERT_TRUE(mpdReaches([](auto& s) { return s.state == mpdclient::PlayState::Stopped; }));
}

} // namespace
