// The handlers of tandravole-remote's commands: each runs one command on a logged-in session
// and returns the exit code.
#include "client/CliHandlers.h"

#include "client/CliCommands.h"
#include "client/Describe.h"
#include "platform/Clock.h"

#include <cmath>

namespace remote {

int runStatus(CliSession& s) {
    RemoteClient& client = s.client();
    std::optional<wire::PlayerStatusMessage> st;
    std::optional<wire::TrackInfoMessage> track;
    if (!client.query(wire::QUERY_PLAYER_STATUS, 0) ||
        !client.query(wire::QUERY_TRACK_INFO, 0xFFFFFFFF))
        return s.fail(ClientStatus::SendFailed, "asking for the status");
    ClientStatus status = s.untilBarrier([&](const wire::ReceivedMessage& m) {
        if (auto d = decodeAs<wire::PlayerStatusMessage>(m))
            st = d;
        else if (auto t = decodeAs<wire::TrackInfoMessage>(m))
            track = t;
    });
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the status");
    if (!st)
        return s.failed("the player reported no status");
    Value v = describe(*st);
    v.set("track", track ? describe(*track) : Value());
    s.print(v);
    return EXIT_OK;
}

int runPause(CliSession& s) {
    ClientStatus status;
    auto st = s.playerStatus(status);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the status");
    if (!st || st->status.playState != 0) {
        Value v = Value::object();
        v.set("ok", false);
        v.set("reason", "not playing");
        s.print(v);
        return EXIT_OK;
    }
    return s.commandThenStatus(wire::CMD_PLAY_PAUSE, 0, "pause");
}

int runVolume(CliSession& s) {
    const CliOptions& o = s.options();
    if (o.args.empty()) {
        ClientStatus status;
        auto st = s.playerStatus(status);
        if (status != ClientStatus::Ok)
            return s.fail(status, "asking for the volume");
        if (!st)
            return s.failed("the player reported no status");
        s.print(describe(*st));
        return EXIT_OK;
    }
    uint64_t percent = 0;
    parseUnsigned(o.args[0], 100, percent);
    // The 16-bit level travels in the high half of the argument, low bytes zero.
    const uint32_t level = uint32_t(std::lround(double(percent) * 655.35));
    return s.commandThenStatus(wire::CMD_VOLUME, level << 16, "volume");
}

int runSeek(CliSession& s) {
    uint64_t ms = 0;
    parsePosition(s.options().args[0], ms);
    return s.commandThenStatus(wire::CMD_SEEK, uint32_t(ms), "seek");
}

int runShuffle(CliSession& s) {
    const CliOptions& o = s.options();
    if (o.args.empty()) {
        ClientStatus status;
        auto st = s.playerStatus(status);
        if (status != ClientStatus::Ok)
            return s.fail(status, "asking for the status");
        if (!st)
            return s.failed("the player reported no status");
        Value v = Value::object();
        v.set("shuffle", st->status.shuffle != 0);
        s.print(v);
        return EXIT_OK;
    }
    return s.commandThenStatus(wire::CMD_SHUFFLE, o.args[0] == "on" ? 1 : 0, "shuffle");
}

namespace {

// Prints the library list or search results that answer a request (`mine` picks the list by
// its request id), or an empty list when the server sent none.
int printLibraryReply(CliSession& s, const char* what,
                      const std::function<bool(const wire::LibraryListMessage&)>& mine) {
    std::optional<Value> result;
    ClientStatus status = s.untilBarrier([&](const wire::ReceivedMessage& m) {
        if (auto list = decodeAs<wire::LibraryListMessage>(m)) {
            if (mine(*list))
                result = describe(*list);
        } else if (auto found = decodeAs<wire::SearchResultsMessage>(m)) {
            result = describe(*found);
        }
    });
    if (status != ClientStatus::Ok)
        return s.fail(status, what);
    if (!result) {
        Value v = Value::object();
        v.set("count", 0u);
        v.set("entries", Value::array());
        s.print(v);
        return EXIT_OK;
    }
    s.print(*result);
    return result->find("malformed") ? EXIT_FAILED : EXIT_OK;
}

// Request ids with a tag per kind of request in the top byte, so replies are told apart.
uint32_t requestId(uint32_t tag) {
    return tag << 24 | (platform::tickCount() & 0xFFFFFF);
}

} // namespace

int runList(CliSession& s, uint8_t sub, const char* what) {
    const uint32_t id = requestId(0x7A);
    if (!s.client().query(sub, id))
        return s.fail(ClientStatus::SendFailed, what);
    return printLibraryReply(s, what,
                             [&](const wire::LibraryListMessage& m) { return m.requestId == id; });
}

int runBrowse(CliSession& s) {
    const CliOptions& o = s.options();
    wire::LibraryQueryExMessage q;
    q.requestId = requestId(0x7B);
    const std::optional<std::string>* texts[4] = {&o.genre, &o.artist, &o.album, &o.composer};
    for (int i = 0; i < 4; ++i) {
        if (*texts[i]) {
            q.mask |= 1u << i;
            q.texts[size_t(i)] = **texts[i];
        }
    }
    if (!s.client().send(q))
        return s.fail(ClientStatus::SendFailed, "browsing");
    const uint32_t id = q.requestId;
    return printLibraryReply(s, "browsing",
                             [&](const wire::LibraryListMessage& m) { return m.requestId == id; });
}

int runSearch(CliSession& s) {
    wire::SearchMessage q;
    q.searchId = requestId(0x7C);
    for (const auto& word : s.options().args)
        q.text += (q.text.empty() ? "" : " ") + word;
    if (!s.client().send(q))
        return s.fail(ClientStatus::SendFailed, "searching");
    return printLibraryReply(s, "searching", [](const wire::LibraryListMessage&) { return true; });
}

int runNowPlaying(CliSession& s) {
    if (!s.client().query(wire::QUERY_NOW_PLAYING, 0))
        return s.fail(ClientStatus::SendFailed, "asking for the playing-now list");
    wire::ReceivedMessage m;
    ClientStatus status =
        s.client().waitForType(wire::MSG_NOW_PLAYING_LIST, m, s.options().timeoutMs);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the playing-now list");
    auto list = decodeAs<wire::NowPlayingListMessage>(m);
    if (!list)
        return s.failed("malformed playing-now list");
    s.print(describe(*list));
    return EXIT_OK;
}

int runPlaylists(CliSession& s) {
    ClientStatus status;
    auto reply = s.queryReply<wire::PlaylistsMessage>(wire::QUERY_PLAYLISTS, 0xFFFFFFFF, status);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the playlists");
    s.print(reply ? describe(*reply) : describe(wire::PlaylistsMessage{}));
    return EXIT_OK;
}

namespace {

int savedCover(CliSession& s, const std::vector<uint8_t>& image, Value v) {
    if (!s.writeFile(image)) {
        s.err() << "tandravole-remote: cannot write " << s.options().output << "\n";
        return EXIT_FILE;
    }
    v.set("file", s.options().output);
    s.print(v);
    return EXIT_OK;
}

} // namespace

int runCover(CliSession& s) {
    const CliOptions& o = s.options();
    RemoteClient& client = s.client();
    if (!o.album) {
        if (!client.query(wire::QUERY_TRACK_COVER, 0xFFFFFFFF, o.coverSize))
            return s.fail(ClientStatus::SendFailed, "asking for the cover");
        wire::ReceivedMessage m;
        ClientStatus status = client.waitFor(
            [](const wire::ReceivedMessage& r) {
                return r.type == wire::MSG_TRACK_COVER || r.type == wire::MSG_TRACK_COVER_NONE;
            },
            m, o.timeoutMs);
        if (status != ClientStatus::Ok)
            return s.fail(status, "asking for the cover");
        auto cover = decodeAs<wire::TrackCoverMessage>(m);
        if (!cover)
            return s.failed("the current track has no cover");
        return savedCover(s, cover->image, describe(*cover));
    }

    wire::CoverRequestMessage q;
    q.album = *o.album;
    q.hasArtist = o.artist.has_value();
    q.artist = o.artist.value_or("");
    q.tag1 = platform::tickCount();
    q.tag2 = 0x00C0;
    q.tag3 = 1;
    q.requestedSize = o.coverSize;
    if (!client.send(q))
        return s.fail(ClientStatus::SendFailed, "asking for the cover");
    // Covers are looked up off the message thread and a missing one gets no answer, so this
    // waits for the reply with our tags until the time-out.
    wire::ReceivedMessage m;
    ClientStatus status = client.waitFor(
        [&](const wire::ReceivedMessage& r) {
            auto c = decodeAs<wire::CoverMessage>(r);
            return c && c->tag1 == q.tag1 && c->tag2 == q.tag2 && c->tag3 == q.tag3;
        },
        m, o.timeoutMs);
    if (status == ClientStatus::Timeout) {
        s.err() << "tandravole-remote: no cover for album '" << q.album << "'\n";
        return EXIT_FAILED;
    }
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the cover");
    auto cover = decodeAs<wire::CoverMessage>(m);
    return savedCover(s, cover->image, describe(*cover));
}

namespace {

std::optional<wire::EqualizerMessage> equalizer(CliSession& s, ClientStatus& status) {
    return s.queryReply<wire::EqualizerMessage>(wire::QUERY_EQUALIZER, 0, status);
}

// eq set: the preamp and one value per band of the player's equalizer.
int setEqualizer(CliSession& s) {
    const std::vector<std::string>& args = s.options().args;
    ClientStatus status;
    auto current = equalizer(s, status);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the equalizer");
    if (!current)
        return s.failed("the player reported no equalizer");
    const size_t bands = current->setting.bands.size();
    if (args.size() - 2 != bands) {
        s.err() << "tandravole-remote: eq set needs PREAMP and " << bands << " band values\n";
        return EXIT_USAGE;
    }
    wire::EqualizerMessage m = *current;
    uint64_t v = 0;
    parseUnsigned(args[1], 200, v);
    m.setting.preamp = uint16_t(v);
    for (size_t i = 0; i < bands; ++i) {
        parseUnsigned(args[i + 2], 200, v);
        m.setting.bands[i].value = uint16_t(v);
    }
    if (!s.client().send(m))
        return s.fail(ClientStatus::SendFailed, "setting the equalizer");
    return EXIT_OK;
}

} // namespace

int runEq(CliSession& s) {
    const std::vector<std::string>& args = s.options().args;
    const std::string sub = args.empty() ? "" : args[0];
    ClientStatus status = ClientStatus::Ok;
    if (sub == "on" || sub == "off") {
        if (!s.client().command(wire::CMD_EQUALIZER_ON, sub == "on" ? 1 : 0))
            return s.fail(ClientStatus::SendFailed, "switching the equalizer");
    } else if (sub == "preset") {
        uint64_t index = 0;
        parseUnsigned(args[1], 0xFFFFFFFF, index);
        if (!s.client().command(wire::CMD_APPLY_PRESET, uint32_t(index)))
            return s.fail(ClientStatus::SendFailed, "applying the preset");
    } else if (sub == "presets") {
        auto reply =
            s.queryReply<wire::EqualizerPresetsMessage>(wire::QUERY_EQUALIZER_PRESETS, 0, status);
        if (status != ClientStatus::Ok)
            return s.fail(status, "asking for the presets");
        s.print(reply ? describe(*reply) : describe(wire::EqualizerPresetsMessage{}));
        return EXIT_OK;
    } else if (sub == "set") {
        if (int code = setEqualizer(s); code != EXIT_OK)
            return code;
    }
    auto eq = equalizer(s, status);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the equalizer");
    if (!eq)
        return s.failed("the player reported no equalizer");
    s.print(describe(*eq));
    return EXIT_OK;
}

int runSleepTimer(CliSession& s) {
    const CliOptions& o = s.options();
    if (!o.args.empty()) {
        wire::SleepTimerMessage m;
        const std::string& a = o.args[0];
        m.action = o.then == "shutdown" ? 1 : o.then == "suspend" ? 2 : 0;
        if (a == "off") {
            m.enabled = false;
        } else if (a == "end-of-list") {
            m.enabled = true;
            m.mode = 1;
        } else {
            uint64_t minutes = 0;
            parseUnsigned(a, kMaxTimerMinutes, minutes);
            m.enabled = true;
            m.mode = 0;
            m.seconds = uint32_t(minutes * 60);
        }
        if (!s.client().send(m))
            return s.fail(ClientStatus::SendFailed, "setting the sleep timer");
    }
    ClientStatus status;
    auto reply = s.queryReply<wire::SleepTimerMessage>(wire::QUERY_SLEEP_TIMER, 0, status);
    if (status != ClientStatus::Ok)
        return s.fail(status, "asking for the sleep timer");
    if (!reply)
        return s.failed("the player reported no sleep timer");
    s.print(describe(*reply));
    return EXIT_OK;
}

int runWatch(CliSession& s) {
    const CliOptions& o = s.options();
    const uint32_t start = platform::tickCount();
    const uint64_t limitMs = o.seconds ? uint64_t(*o.seconds) * 1000 : UINT64_MAX;
    uint32_t printed = 0;
    for (;;) {
        const uint64_t elapsed = platform::tickCount() - start;
        if (elapsed >= limitMs)
            return EXIT_OK;
        const uint64_t left = limitMs - elapsed;
        wire::ReceivedMessage m;
        ClientStatus status = s.client().receive(m, uint32_t(left < 1000 ? left : 1000));
        if (status == ClientStatus::Timeout)
            continue;
        if (status != ClientStatus::Ok)
            return s.fail(status, "watching");
        Value v = describeMessage(m);
        if (o.json)
            s.out() << v.json() << "\n";
        else
            s.out() << v.inlineText() << "\n";
        s.out().flush();
        if (o.count && ++printed >= *o.count)
            return EXIT_OK;
    }
}

} // namespace remote
