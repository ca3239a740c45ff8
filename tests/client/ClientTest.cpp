// The client and tandravole-remote against the real engine on 127.0.0.1, with the shared
// recording delegate behind it, following commands as a player would.
#include "client/Cli.h"
#include "client/RemoteClient.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "server/engine/WinampControlServer.h"
#include "tests/support/TestSocket.h"
#include "tools/testkit/RecordingDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

using namespace remote;
using testing_support::waitUntil;
using testkit::Answers;
using testkit::Op;
using testkit::RecordingDelegate;

namespace {

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        player.edit([](Answers& a) {
            a.status = PlayerStatus{61000, 0, 0, 0x8080, 0};
            a.followCommands = true;
            a.nowPlaying.emplace();
            a.playlists.emplace();
            a.trackText = Answers::TrackText{"current", {}};
            a.equalizer.emplace();
            a.sleepTimer.emplace();
            a.coverArtist = "Cover Artist";
        });
        ASSERT_TRUE(platform::socketStartup());
        server.setDelegate(&player);
        server.setAllCapabilities();
        ASSERT_TRUE(server.listen(0));
        port = server.boundPort();
        ASSERT_NE(port, 0);
    }
    void TearDown() override { platform::socketCleanup(); }

    int cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", std::to_string(port), "--timeout", "3000"});
        std::ostringstream o, e;
        int code = runCommandLine(args, o, e);
        out = o.str();
        err = e.str();
        return code;
    }

    TrackInfo track(int index, std::string name, std::string artist) {
        TrackInfo t;
        t.index = index;
        t.name = std::move(name);
        t.artist = std::move(artist);
        t.album = "LP";
        t.durationMs = 187000;
        t.displayText = t.artist + " - " + t.name;
        return t;
    }

    RecordingDelegate player{RecordingDelegate::Recording::On};
    platform::ManualClock clock; // outlives the server, whose keep-alive thread reads it
    WinampControlServer server;
    uint16_t port = 0;
    std::string out, err;
};

TEST_F(ClientTest, GreetingLoginCapabilitiesAndPassword) {
    RemoteClient client;
    ASSERT_EQ(client.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    EXPECT_EQ(client.bytesReceived(), 23u); // the greeting's frame, nothing more yet
    EXPECT_EQ(client.hello().version, 0x0302);
    EXPECT_EQ(client.hello().passwordRequired, 0);
    ASSERT_EQ(client.login("", true, 0, 3000), ClientStatus::Ok);
    EXPECT_EQ(client.capabilities(), 0x000000000077FFFFull);
    EXPECT_TRUE(waitUntil([&] { return server.loggedIn(); }));
    client.close();

    server.setPassword("s\xC3\xA9same");
    RemoteClient second;
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    ASSERT_EQ(second.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    EXPECT_EQ(second.hello().passwordRequired, 1);
    EXPECT_EQ(second.login("wrong", true, 0, 3000), ClientStatus::LoginRefused);
    // A refused login leaves the connection open for another attempt.
    EXPECT_EQ(second.login("s\xC3\xA9same", true, 0, 3000), ClientStatus::Ok);
}

TEST_F(ClientTest, LargeNowPlayingListArrivesCompressedAndIsOpened) {
    player.edit([&](Answers& a) {
        for (int i = 0; i < 3000; ++i)
            a.nowPlaying->push_back(track(i, "Song number " + std::to_string(i), "Artist"));
    });
    RemoteClient client;
    ASSERT_EQ(client.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    ASSERT_EQ(client.login("", true, 0, 3000), ClientStatus::Ok);
    const uint64_t before = client.bytesReceived();
    ASSERT_TRUE(client.query(wire::QUERY_NOW_PLAYING, 0));
    wire::ReceivedMessage m;
    ASSERT_EQ(client.waitForType(wire::MSG_NOW_PLAYING_LIST, m, 5000), ClientStatus::Ok);
    EXPECT_EQ(client.envelopesOpened(), 1u);
    // Counted as they came over the connection: the envelope, smaller than what it held.
    const uint64_t onTheWire = client.bytesReceived() - before;
    EXPECT_GT(onTheWire, 12u);
    EXPECT_LT(onTheWire, m.payload.size());
    auto list = decodeAs<wire::NowPlayingListMessage>(m);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 3000u);
    EXPECT_EQ(list->entries[0].text, "Artist - Song number 0");
    EXPECT_EQ(list->entries[2999].index, 2999u);
    EXPECT_EQ(list->entries[2999].text, "Artist - Song number 2999");
}

TEST_F(ClientTest, KeepaliveProbesAreAnsweredSoTheSessionSurvives) {
    // Interval 1 s on a clock the test moves: a probe per second, a kick after more than 2 s
    // without an answer. Five seconds pass; only the client's answers keep the session.
    server.keepalive().setClock(clock);
    RemoteClient client;
    ASSERT_EQ(client.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    ASSERT_EQ(client.login("", true, 1, 3000), ClientStatus::Ok);
    for (uint32_t answered = 1; answered <= 5; ++answered) {
        const uint32_t start = platform::tickCount();
        while (client.keepalivesAnswered() < answered && platform::tickCount() - start < 5000) {
            wire::ReceivedMessage m;
            ClientStatus s = client.receive(m, 50);
            ASSERT_TRUE(s == ClientStatus::Ok || s == ClientStatus::Timeout) << describeStatus(s);
        }
        ASSERT_GE(client.keepalivesAnswered(), answered);
        ASSERT_TRUE(
            waitUntil([&] { return server.keepalive().lastSeen() == clock.tickCount(); }, 5000));
        clock.advance(1001);
    }
    ASSERT_TRUE(client.query(wire::QUERY_PLAYER_STATUS, 0));
    wire::ReceivedMessage m;
    EXPECT_EQ(client.waitForType(wire::MSG_PLAYER_STATUS, m, 3000), ClientStatus::Ok);
    EXPECT_TRUE(server.loggedIn());
}

TEST_F(ClientTest, StatusAndTransportCommands) {
    player.edit([&](Answers& a) {
        a.tracks[player::kCurrent] = track(-1, "Blue", "Ann");
        a.tracks[player::kCurrent].isCurrent = 1;
    });
    ASSERT_EQ(cli({"--json", "status"}), EXIT_OK) << err;
    EXPECT_NE(out.find("\"state\":\"playing\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"position\":\"1:01\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"name\":\"Blue\""), std::string::npos) << out;

    // (The call each command makes is CliRunTest's.)
    ASSERT_EQ(cli({"volume", "0"}), EXIT_OK) << err;
    EXPECT_TRUE(player.called("setVolume(0)"));

    // Pause toggles only while playing; the printed status shows the result.
    ASSERT_EQ(cli({"pause"}), EXIT_OK) << err;
    EXPECT_TRUE(player.called("playbackCommand(0)"));
    EXPECT_NE(out.find("state: paused"), std::string::npos) << out;
    ASSERT_EQ(cli({"stop"}), EXIT_OK) << err;
    const uint64_t before = player.count(Op::PlaybackCommand);
    ASSERT_EQ(cli({"pause"}), EXIT_OK) << err;
    EXPECT_EQ(player.count(Op::PlaybackCommand), before);
    EXPECT_NE(out.find("not playing"), std::string::npos);

    ASSERT_EQ(cli({"repeat"}), EXIT_OK) << err;
    EXPECT_NE(out.find("repeat: list"), std::string::npos) << out;
}

TEST_F(ClientTest, LibraryListsBrowseAndSearch) {
    LibraryStringList artists(LIST_KIND_ARTISTS);
    artists.entries = {"Ann", "Bo"};
    LibraryAlbumList albums;
    albums.entries = {{"Blue", "Ann", 1}, {"Red", "Bo", 2}};
    TrackEntry<std::string> t;
    t.artist = "Ann";
    t.name = "First";
    t.album = "Blue";
    t.durationSeconds = 125;
    LibraryTrackList tracks;
    tracks.entries = {t};
    player.edit([&](Answers& a) {
        a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
        a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(albums);
        a.libraryQuery = testkit::listOf(tracks);
        a.searches["first song"] = tracks;
    });

    ASSERT_EQ(cli({"artists"}), EXIT_OK) << err;
    EXPECT_NE(out.find("  Ann\n  Bo\n"), std::string::npos) << out;

    ASSERT_EQ(cli({"--json", "albums"}), EXIT_OK) << err;
    EXPECT_NE(out.find("{\"album\":\"Red\",\"artist\":\"Bo\",\"number\":2}"), std::string::npos)
        << out;

    // A category the player has nothing for gives an empty list, not a time-out.
    ASSERT_EQ(cli({"--json", "genres"}), EXIT_OK) << err;
    EXPECT_NE(out.find("\"count\":0"), std::string::npos) << out;

    ASSERT_EQ(cli({"--json", "browse", "--artist", "Ann", "--composer", "C"}), EXIT_OK) << err;
    EXPECT_NE(out.find("\"name\":\"First\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"duration\":\"2:05\""), std::string::npos) << out;

    ASSERT_EQ(cli({"--json", "search", "first", "song"}), EXIT_OK) << err;
    EXPECT_NE(out.find("\"name\":\"First\""), std::string::npos) << out;
}

TEST_F(ClientTest, CoverIsWrittenToTheFileOrReportedMissing) {
    const std::vector<uint8_t> image = {0x89, 'P', 'N', 'G', 0, 1, 2};
    player.edit([&](Answers& a) { a.albumCovers["Blue"] = image; });
    const std::string path = testing::TempDir() + "tandravole-cover-test.png";
    std::remove(path.c_str());
    ASSERT_EQ(cli({"--json", "cover", "--album", "Blue", "--output", path}), EXIT_OK) << err;
    EXPECT_NE(out.find("\"artist\":\"Cover Artist\""), std::string::npos) << out;
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, image);
    file.close();
    std::remove(path.c_str());

    std::vector<std::string> args = {"--timeout", "300", "cover", "--album", "Nope", "-o", path};
    ASSERT_EQ(cli(args), EXIT_FAILED);
    EXPECT_NE(err.find("no cover for album 'Nope'"), std::string::npos) << err;
}

TEST_F(ClientTest, EqualizerAndSleepTimer) {
    player.edit([](Answers& a) {
        for (uint16_t hz : {60, 170, 310, 600, 1000, 3000, 6000, 12000, 14000, 16000})
            a.equalizer->setting.bands.push_back({hz, 100});
    });
    ASSERT_EQ(cli({"eq", "set", "110", "1", "2"}), EXIT_USAGE);
    EXPECT_NE(err.find("10 band values"), std::string::npos) << err;
    ASSERT_EQ(cli({"--json", "eq", "set", "110", "0", "10", "20", "30", "40", "50", "60", "70",
                   "80", "200"}),
              EXIT_OK)
        << err;
    EXPECT_TRUE(player.called("setEqualizer(10,110)"));
    EXPECT_NE(out.find("\"preamp\":110"), std::string::npos) << out;
    EXPECT_NE(out.find("{\"hz\":16000,\"value\":200}"), std::string::npos) << out;

    ASSERT_EQ(cli({"--json", "sleep-timer", "10", "--then", "suspend"}), EXIT_OK) << err;
    EXPECT_TRUE(player.called("setSleepTimer(1,0,2,600)"));
    EXPECT_NE(out.find("\"action\":\"stop and sleep\""), std::string::npos) << out;
}

// Pushes the control makes during the login (before MSG_CAPABILITIES ends it) are printed
// too, ahead of later ones.
TEST_F(ClientTest, WatchPrintsPushesUntilTheCount) {
    std::atomic<int> loginsSeen{0};
    player.onCall(Op::OnClientLogin, [&] {
        server.sendListChanged(player::kNowPlayingU);
        ++loginsSeen;
    });
    int code = -1;
    std::thread watcher([&] {
        code = cli({"--json", "watch", "--count", "3", "--timeout", "5000"});
    });
    ASSERT_TRUE(waitUntil([&] { return loginsSeen.load() == 1; }));
    server.sendPlaylistsChanged();
    server.sendListChanged(5);
    server.sendListChanged(6); // past the count: not printed
    watcher.join();
    EXPECT_EQ(code, EXIT_OK) << err;
    EXPECT_EQ(out, "{\"message\":\"MSG_NOW_PLAYING_CHANGED\"}\n"
                   "{\"message\":\"MSG_PLAYLISTS_CHANGED\"}\n"
                   "{\"message\":\"MSG_PLAYLIST_CHANGED\",\"playlist\":5}\n");
}

TEST_F(ClientTest, ClearErrorsAndExitCodes) {
    server.setPassword("right");
    EXPECT_EQ(cli({"--password", "wrong", "status"}), EXIT_LOGIN);
    EXPECT_NE(err.find("wrong password"), std::string::npos) << err;
    EXPECT_EQ(cli({"status"}), EXIT_LOGIN);
    EXPECT_NE(err.find("needs a password"), std::string::npos) << err;

    // Nothing listens on a port we just had and closed.
    platform::SocketHandle probe = platform::listenTcp4(0);
    ASSERT_NE(probe, platform::kInvalidSocket);
    const uint16_t freePort = platform::socketLocalPort(probe);
    platform::closeSocket(probe);
    std::ostringstream o, e;
    EXPECT_EQ(runCommandLine({"--port", std::to_string(freePort), "status"}, o, e), EXIT_CONNECT);
    EXPECT_NE(e.str().find("cannot connect to 127.0.0.1:" + std::to_string(freePort)),
              std::string::npos)
        << e.str();

    // Another app holds the session (allow kick is off): refused without a greeting. The
    // server accepts at once, so it must first have seen the last command's connection close.
    server.setPassword("");
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    RemoteClient holder;
    ASSERT_EQ(holder.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    std::ostringstream o3, e3;
    EXPECT_EQ(
        runCommandLine({"--port", std::to_string(port), "--timeout", "600", "status"}, o3, e3),
        EXIT_CONNECT);
    EXPECT_NE(e3.str().find("another app may hold the session"), std::string::npos) << e3.str();
    holder.close();

    // A listener that never greets: a time-out.
    platform::SocketHandle mute = platform::listenTcp4(0);
    ASSERT_NE(mute, platform::kInvalidSocket);
    std::ostringstream o2, e2;
    EXPECT_EQ(runCommandLine({"--port", std::to_string(platform::socketLocalPort(mute)),
                              "--timeout", "200", "status"},
                             o2, e2),
              EXIT_TIMEOUT);
    EXPECT_NE(e2.str().find("timed out"), std::string::npos) << e2.str();
    platform::closeSocket(mute);
}

TEST(CliArguments, RejectsMistakesBeforeConnecting) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"--port", "70000", "status"}, "--port needs a number"},
        {{"volume", "101"}, "percentage from 0 to 100"},
        {{"seek", "1:75"}, "seek needs seconds"},
        {{"shuffle", "maybe"}, "on or off"},
        {{"browse"}, "at least one of"},
        {{"cover", "--album", "X"}, "--output FILE"},
        {{"cover", "--artist", "A", "-o", "f"}, "--artist needs --album"},
        {{"eq", "loud"}, "eq takes on, off"},
        {{"eq", "set", "300"}, "eq set needs PREAMP"},
        {{"eq", "set", "100", "300"}, "0..200"},
        {{"sleep-timer", "soon"}, "MINUTES, end-of-list or off"},
        {{"--then", "explode", "sleep-timer", "5"}, "--then must be"},
        {{"status", "--count", "3"}, "belong to watch"},
    };
    for (const auto& c : cases) {
        ParseResult r = parseCommandLine(c.args);
        EXPECT_FALSE(r.ok) << c.message;
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
    }
    std::ostringstream o, e;
    EXPECT_EQ(runCommandLine({"dance"}, o, e), EXIT_USAGE);
    EXPECT_NE(e.str().find("--help"), std::string::npos);
}

TEST(CliArguments, OptionsAnywhereAndInlineValues) {
    ParseResult r = parseCommandLine({"cover", "--album=Blue Train", "--host", "10.0.0.2",
                                      "--port=2000", "-o", "x.jpg", "--size", "64", "--json"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, "cover");
    EXPECT_EQ(*r.options.album, "Blue Train");
    EXPECT_EQ(r.options.host, "10.0.0.2");
    EXPECT_EQ(r.options.port, 2000);
    EXPECT_EQ(r.options.output, "x.jpg");
    EXPECT_EQ(r.options.coverSize, 64);
    EXPECT_TRUE(r.options.json);

    ParseResult w = parseCommandLine({"watch", "--seconds", "3", "--count", "10"});
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(*w.options.seconds, 3u);
    EXPECT_EQ(*w.options.count, 10u);
}

} // namespace
