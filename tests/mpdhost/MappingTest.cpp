// MPD's records mapped to the player's, without an MPD: addresses, keys, tracks, stickers and
// what a change of status means.
#include "mpdhost/Mapping.h"
#include "mpdclient/Address.h"

#include <gtest/gtest.h>

#include <map>

using mpdclient::PlayState;
using mpdclient::StatusInfo;
using namespace mpdhost;

namespace {

TEST(MpdAddress, FormsOfTheOptionAndTheEnvironment) {
    struct Case {
        const char* text;
        std::map<std::string, std::string> env;
        const char* host;
        uint16_t port;
        const char* password;
        const char* described;
    };
    const Case cases[] = {
        {"mpd", {}, "127.0.0.1", 6600, "", "127.0.0.1:6600"},
        {"mpd", {{"MPD_HOST", "box"}, {"MPD_PORT", "6601"}}, "box", 6601, "", "box:6601"},
        {"mpd", {{"MPD_HOST", "secret@box"}}, "box", 6600, "secret", "box:6600"},
        {"mpd", {{"MPD_HOST", "/run/mpd/socket"}}, "/run/mpd/socket", 6600, "", "/run/mpd/socket"},
        {"mpd://music.local",
         {{"MPD_HOST", "ignored"}},
         "music.local",
         6600,
         "",
         "music.local:6600"},
        {"mpd://10.0.0.2:7000", {}, "10.0.0.2", 7000, "", "10.0.0.2:7000"},
        {"mpd://pw@10.0.0.2:65535", {}, "10.0.0.2", 65535, "pw", "10.0.0.2:65535"},
        {"mpd://[::1]:6602", {}, "::1", 6602, "", "[::1]:6602"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto a = mpdclient::parseAddress(
            c.text,
            [&](const char* name) {
                auto it = c.env.find(name);
                return it == c.env.end() ? nullptr : it->second.c_str();
            },
            error);
        ASSERT_TRUE(a) << c.text << ": " << error;
        EXPECT_EQ(a->host, c.host) << c.text;
        EXPECT_EQ(a->port, c.port) << c.text;
        EXPECT_EQ(a->password, c.password) << c.text;
        EXPECT_EQ(a->describe(), c.described) << c.text;
    }
}

TEST(MpdAddress, MistakesAreNamed) {
    struct Case {
        const char* text;
        const char* port;
        const char* says;
    };
    const Case cases[] = {
        {"mpd://box:0", nullptr, "from 1 to 65535, not \"0\""},
        {"mpd://box:65536", nullptr, "not \"65536\""},
        {"mpd://box:", nullptr, "not \"\""},
        {"mpd://", nullptr, "needs a host"},
        {"mpd://[::1", nullptr, "lacks its \"]\""},
        {"mdp://box", nullptr, "\"sim\", \"mpd\" or \"mpd://HOST[:PORT]\""},
        {"mpd", "66000", "MPD_PORT must be a port number"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto a = mpdclient::parseAddress(
            c.text,
            [&](const char* name) { return std::string(name) == "MPD_PORT" ? c.port : nullptr; },
            error);
        EXPECT_FALSE(a) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << ": " << error;
    }
}

TEST(MpdKeys, StableByTextAndCollisionFree) {
    // These two paths have the same 31-bit hash.
    const std::string a = "Music/41991.flac", b = "Music/112933.flac";
    ASSERT_EQ(naturalKey(a), naturalKey(b));
    KeyTable first;
    EXPECT_EQ(first.keyFor(a), naturalKey(a));
    EXPECT_EQ(first.keyFor(b), naturalKey(a) + 1); // the next free number
    EXPECT_EQ(first.keyFor(a), naturalKey(a));     // asked again: the same
    EXPECT_EQ(*first.textOf(naturalKey(a) + 1), b);
    // Another run over the same library gives the same keys.
    KeyTable again;
    again.keyFor(a);
    EXPECT_EQ(again.keyFor(b), first.keyFor(b));
    EXPECT_EQ(again.find("other"), nullptr);
    EXPECT_GT(naturalKey(""), 0);
}

TEST(MpdTracks, SongsBecomeTracks) {
    mpdclient::SongInfo song;
    song.uri = "Anna/First/03 Third Song.flac";
    song.artist = "Anna";
    song.album = "First";
    song.composer = "Clara";
    song.genre = "Jazz";
    song.comment = "live";
    song.track = "3/12";
    song.disc = "2";
    song.date = "2001-05-12";
    song.durationMs = 2999;
    medialib::Track t = trackFromSong(song, 42);
    EXPECT_EQ(t.key, 42);
    EXPECT_EQ(t.path, u"Anna/First/03 Third Song.flac");
    EXPECT_EQ(t.name, u"03 Third Song"); // no title: the file's name
    EXPECT_EQ(t.albumArtist, u"Anna");   // no album artist: the artist
    EXPECT_EQ(t.trackNumber, 3);
    EXPECT_EQ(t.discNumber, 2);
    EXPECT_EQ(t.year, 2001);
    EXPECT_EQ(t.durationSeconds, 2);
    EXPECT_EQ(t.composer, u"Clara");
    EXPECT_EQ(t.comment, u"live");
    EXPECT_EQ(t.mediaType, u"Audio");

    song.title = "Tïtle";
    song.albumArtist = "Various";
    song.track = "x";
    song.disc = "1/2";
    song.date = "";
    song.uri = "noextension";
    t = trackFromSong(song, 1);
    EXPECT_EQ(t.name, u"Tïtle");
    EXPECT_EQ(t.albumArtist, u"Various");
    EXPECT_EQ(t.trackNumber, 0);
    EXPECT_EQ(t.discNumber, 1);
    EXPECT_EQ(t.year, 0);
    song.title.clear();
    EXPECT_EQ(trackFromSong(song, 1).name, u"noextension");
}

TEST(MpdStickers, RatingsAndCounts) {
    struct Case {
        const char* text;
        int32_t rating, count;
    };
    const Case cases[] = {{"0", 0, 0},   {"5", 5, 5},          {"6", 0, 6},  {"-1", 0, 0},
                          {"4x", 0, 0},  {"", 0, 0},           {" 3", 0, 0}, {"12", 0, 12},
                          {"2.5", 0, 0}, {"99999999999", 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(ratingFromSticker(c.text), c.rating) << c.text;
        EXPECT_EQ(countFromSticker(c.text), c.count) << c.text;
    }
}

StatusInfo playing(int32_t pos, uint32_t elapsedMs, uint32_t durationMs = 3000) {
    StatusInfo s;
    s.state = PlayState::Playing;
    s.songPos = pos;
    s.songId = pos + 100;
    s.elapsedMs = elapsedMs;
    s.durationMs = durationMs;
    s.volume = 50;
    return s;
}

TEST(MpdStatus, ChangesBecomeNotifications) {
    const StatusInfo before = playing(0, 1000);
    StatusInfo paused = before;
    paused.state = PlayState::Paused;
    StatusInfo louder = before;
    louder.volume = 60;
    StatusInfo shuffled = before;
    shuffled.random = true;
    StatusInfo moved = before; // an entry inserted above the current one
    moved.songPos = 1;
    struct Case {
        const char* what;
        StatusInfo after;
        bool state, track, volume, status;
    };
    const Case cases[] = {
        {"nothing", before, false, false, false, false},
        {"paused", paused, true, false, false, true},
        {"volume", louder, false, false, true, true},
        {"random", shuffled, false, false, false, true},
        {"next", playing(1, 0), false, true, false, true},
        {"moved", moved, false, true, false, true},
    };
    for (const Case& c : cases) {
        StatusChange change = compareStatus(before, c.after, 0);
        EXPECT_EQ(change.state, c.state) << c.what;
        EXPECT_EQ(change.track, c.track) << c.what;
        EXPECT_EQ(change.volume, c.volume) << c.what;
        EXPECT_EQ(change.status, c.status) << c.what;
        EXPECT_FALSE(change.playedToEnd) << c.what;
    }
}

TEST(MpdStatus, APlayCountsWhenTheTrackReachedItsEnd) {
    StatusInfo stopped;
    stopped.state = PlayState::Stopped;
    StatusInfo pausedEarly = playing(0, 500);
    pausedEarly.state = PlayState::Paused;
    struct Case {
        const char* what;
        StatusInfo before, after;
        uint64_t sinceMs;
        bool played;
    };
    const Case cases[] = {
        // 3000 ms long, 1500 ms of slack: 1500 ms reached is the first that counts.
        {"next entry at the slack", playing(0, 1000), playing(1, 0), 500, true},
        {"next entry just before", playing(0, 1000), playing(1, 0), 499, false},
        {"stopped at the end of the list", playing(0, 2900), stopped, 100, true},
        {"stopped early", playing(0, 100), stopped, 100, false},
        {"the same entry", playing(0, 100), playing(0, 2900), 2800, false},
        {"paused is no play", pausedEarly, playing(1, 0), 5000, false},
        {"unknown length", playing(0, 9000, 0), playing(1, 0), 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compareStatus(c.before, c.after, c.sinceMs).playedToEnd, c.played) << c.what;
}

} // namespace
