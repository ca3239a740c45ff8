// MPD's records mapped to the player's, without an MPD: addresses, keys, tracks, stickers and
// what a change of status means.
#include "mpdhost/Mapping.h"
#include "mpdclient/Address.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

using mpdclient::PlayState;
using mpdclient::StatusInfo;
using namespace mpdhost;

namespace {

// Each form of the option and of the environment, and the mistakes (an empty host: the text
// the mistake's message contains).
TEST(MpdAddress, FormsOfTheOptionAndTheEnvironmentAndMistakes) {
    const struct {
        const char* text;
        std::map<std::string, std::string> env;
        const char *host, *described;
        uint16_t port;
        const char* password;
    } cases[] = {
        {"mpd", {}, "127.0.0.1", "127.0.0.1:6600", 6600, ""},
        {"mpd", {{"MPD_HOST", "box"}, {"MPD_PORT", "6601"}}, "box", "box:6601", 6601, ""},
        {"mpd", {{"MPD_HOST", "secret@box"}}, "box", "box:6600", 6600, "secret"},
        {"mpd", {{"MPD_HOST", "/run/mpd/socket"}}, "/run/mpd/socket", "/run/mpd/socket", 6600, ""},
        {"mpd://music.local", {{"MPD_HOST", "x"}}, "music.local", "music.local:6600", 6600, ""},
        {"mpd://pw@10.0.0.2:65535", {}, "10.0.0.2", "10.0.0.2:65535", 65535, "pw"},
        {"mpd://[::1]:6602", {}, "::1", "[::1]:6602", 6602, ""},
        {"mpd://box:0", {}, "", "from 1 to 65535, not \"0\"", 0, ""},
        {"mpd://box:65536", {}, "", "not \"65536\"", 0, ""},
        {"mpd://box:", {}, "", "not \"\"", 0, ""},
        {"mpd://", {}, "", "needs a host", 0, ""},
        {"mpd://[::1", {}, "", "lacks its \"]\"", 0, ""},
        {"mdp://box", {}, "", "\"sim\", \"mpd\" or \"mpd://HOST[:PORT]\"", 0, ""},
        {"mpd", {{"MPD_PORT", "66000"}}, "", "MPD_PORT must be a port number", 0, ""},
    };
    for (const auto& c : cases) {
        std::string error;
        auto a = mpdclient::parseAddress(
            c.text,
            [&](const char* name) {
                auto it = c.env.find(name);
                return it == c.env.end() ? nullptr : it->second.c_str();
            },
            error);
        if (!*c.host) {
            EXPECT_FALSE(a) << c.text;
            EXPECT_NE(error.find(c.described), std::string::npos) << c.text << ": " << error;
            continue;
        }
        ASSERT_TRUE(a) << c.text << ": " << error;
        EXPECT_EQ(std::tuple(a->host, a->port, a->password, a->describe()),
                  std::tuple(c.host, c.port, c.password, c.described))
            << c.text;
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
    // No title: the file's name; no album artist: the artist; whole seconds.
    EXPECT_EQ(std::tuple(t.key, t.path, t.name, t.albumArtist, t.composer, t.comment, t.mediaType),
              std::tuple(42, u"Anna/First/03 Third Song.flac", u"03 Third Song", u"Anna", u"Clara",
                         u"live", u"Audio"));
    EXPECT_EQ(std::tuple(t.trackNumber, t.discNumber, t.year, t.durationSeconds),
              std::tuple(3, 2, 2001, 2));
    // uri, title, artist, album, album artist, composer, genre, comment, date, track, disc
    song = {"noextension", "Tïtle", "", "", "Various", "", "", "", "", "x", "1/2"};
    t = trackFromSong(song, 1);
    EXPECT_EQ(std::tuple(t.name, t.albumArtist, t.trackNumber, t.discNumber, t.year),
              std::tuple(u"Tïtle", u"Various", 0, 1, 0));
    song.title.clear();
    EXPECT_EQ(trackFromSong(song, 1).name, u"noextension");
}

TEST(MpdStickers, RatingsAndCounts) {
    struct Case {
        const char* text;
        int32_t rating, count;
    };
    const Case cases[] = {{"0", 0, 0},  {"5", 5, 5}, {"6", 0, 6},  {"-1", 0, 0},
                          {"4x", 0, 0}, {"", 0, 0},  {" 3", 0, 0}, {"99999999999", 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(ratingFromSticker(c.text), c.rating) << c.text;
        EXPECT_EQ(countFromSticker(c.text), c.count) << c.text;
    }
}

StatusInfo playing(int32_t pos, uint32_t elapsedMs, uint32_t durationMs = 3000) {
    return {PlayState::Playing, pos, pos + 100, elapsedMs, durationMs, 50};
}

// What a change of status tells the app, and whether the entry that was playing counts a play:
// 3000 ms long with 1500 ms of slack, 1500 ms reached is the first that counts.
TEST(MpdStatus, ChangesBecomeNotificationsAndPlaysAreCountedAtTheEnd) {
    StatusInfo stopped;
    stopped.state = PlayState::Stopped;
    StatusInfo pausedEarly = playing(0, 500);
    pausedEarly.state = PlayState::Paused;
    const StatusInfo before = playing(0, 1000);
    struct Case {
        const char* what;
        StatusInfo before, after;
        uint64_t sinceMs;
        bool state, track, volume, status, played;
    };
    const Case cases[] = {
        {"nothing", before, before, 0, 0, 0, 0, 0, 0},
        {"paused", before, {PlayState::Paused, 0, 100, 1000, 3000, 50}, 0, 1, 0, 0, 1, 0},
        {"volume", before, {PlayState::Playing, 0, 100, 1000, 3000, 60}, 0, 0, 0, 1, 1, 0},
        {"random", before, {PlayState::Playing, 0, 100, 1000, 3000, 50, true}, 0, 0, 0, 0, 1, 0},
        // An entry inserted above the current one.
        {"moved", before, {PlayState::Playing, 1, 100, 1000, 3000, 50}, 0, 0, 1, 0, 1, 0},
        {"next entry at the slack", before, playing(1, 0), 500, 0, 1, 0, 1, 1},
        {"next entry just before", before, playing(1, 0), 499, 0, 1, 0, 1, 0},
        {"stopped at the end of the list", playing(0, 2900), stopped, 100, 1, 1, 1, 1, 1},
        {"stopped early", playing(0, 100), stopped, 100, 1, 1, 1, 1, 0},
        {"the same entry", playing(0, 100), playing(0, 2900), 2800, 0, 0, 0, 1, 0},
        {"paused is no play", pausedEarly, playing(1, 0), 5000, 1, 1, 0, 1, 0},
        {"unknown length", playing(0, 9000, 0), playing(1, 0), 0, 0, 1, 0, 1, 0},
    };
    for (const Case& c : cases) {
        StatusChange change = compareStatus(c.before, c.after, c.sinceMs);
        EXPECT_EQ(std::tuple(change.state, change.track, change.volume, change.status,
                             change.playedToEnd),
                  std::tuple(c.state, c.track, c.volume, c.status, c.played))
            << c.what;
    }
}

} // namespace
