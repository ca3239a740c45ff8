#include "client/Cli.h"

#include "client/Describe.h"
#include "client/RemoteClient.h"
#include "platform/Clock.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>

namespace remote {

namespace {

// --- parsing ------------------------------------------------------------------------------

bool parseUnsigned(const std::string& text, uint64_t maximum, uint64_t& out) {
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
        if (v > maximum)
            return false;
    }
    out = v;
    return true;
}

// "90", "1:30" or "1:02:03" as milliseconds.
bool parsePosition(const std::string& text, uint64_t& ms) {
    uint64_t total = 0;
    size_t start = 0;
    int parts = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        std::string part = text.substr(start, colon == std::string::npos ? colon : colon - start);
        uint64_t v = 0;
        if (!parseUnsigned(part, 1000000, v) || (parts > 0 && v >= 60))
            return false;
        total = total * 60 + v;
        if (++parts > 3)
            return false;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    ms = total * 1000;
    return ms <= 0x7FFFFFFF;
}

struct CommandInfo {
    int minArgs;
    int maxArgs; // -1 = any
};

const std::map<std::string, CommandInfo>& commands() {
    static const std::map<std::string, CommandInfo> table = {
        {"status", {0, 0}},    {"play", {0, 0}},        {"pause", {0, 0}},
        {"stop", {0, 0}},      {"next", {0, 0}},        {"prev", {0, 0}},
        {"volume", {0, 1}},    {"seek", {1, 1}},        {"shuffle", {0, 1}},
        {"repeat", {0, 0}},    {"now-playing", {0, 0}}, {"playlists", {0, 0}},
        {"artists", {0, 0}},   {"albums", {0, 0}},      {"genres", {0, 0}},
        {"composers", {0, 0}}, {"browse", {0, 0}},      {"search", {1, -1}},
        {"cover", {0, 0}},     {"eq", {0, 12}},         {"sleep-timer", {0, 1}},
        {"watch", {0, 0}},     {"help", {0, 0}},
    };
    return table;
}

} // namespace

std::string usageText() {
    return R"(Usage: tandravole-remote [options] <command> [arguments]

Remote control for the Tandravole 4 MediaCenter plug-in over its binary protocol.

Options:
  --host ADDRESS     server's IPv4 address (default 127.0.0.1; "localhost" works too)
  --port N           server's TCP port (default 19371)
  --password TEXT    password configured in the plug-in (default: none)
  --json             print results as JSON, one object per line
  --timeout MS       how long to wait for each answer (default 5000)
  --keepalive S      ask the server for keep-alive probes every S seconds (1..255)
  -h, --help         show this text

Commands:
  status                      player state, position, volume, shuffle, repeat, current track
  play                        start playback
  pause                       pause playback (nothing happens unless playing)
  stop                        stop playback
  next | prev                 next or previous track
  volume [PERCENT]            show the volume, or set it to 0..100
  seek POSITION               jump to seconds, M:SS or H:MM:SS in the current track
  shuffle [on|off]            show or set shuffle
  repeat                      switch repeat of the playing-now list on or off
  now-playing                 list the playing-now entries
  playlists                   list the stored playlists
  artists | albums | genres | composers
                              list a category of the music library
  browse --genre G --artist A --album B --composer C
                              drill down into the library (at least one filter)
  search WORDS...             search the library
  cover --output FILE [--album B [--artist A] [--size N]]
                              save an album's cover (or, without --album, the current
                              track's cover) to FILE; N is the wanted size in pixels
                              (default 200; 64 or less asks for the small thumbnail)
  eq                          show the equalizer
  eq on | eq off              switch the equalizer on or off
  eq presets                  list the equalizer presets
  eq preset N                 apply preset number N
  eq set PREAMP V1..V10       set preamp and the ten bands (each 0..200, 100 = flat)
  sleep-timer                 show the sleep timer
  sleep-timer MINUTES         stop playback after MINUTES
  sleep-timer end-of-list     stop playback at the end of the playing-now list
  sleep-timer off             cancel the sleep timer
      --then stop|shutdown|suspend   what happens when the timer fires (default stop)
  watch [--count N] [--seconds S]
                              print messages from the server as they arrive, until N
                              messages or S seconds (default: until the connection ends)

Exit codes: 0 ok, 1 nothing found or refused, 2 bad command line, 3 cannot connect,
4 wrong password, 5 time-out, 6 connection closed by the server, 7 cannot write the file.
)";
}

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CliOptions& o = result.options;
    auto fail = [&](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto takeValue = [&](std::string& out) -> bool {
            if (hasInlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto needValue = [&](const std::string& name,
                             std::string& out) -> std::optional<ParseResult> {
            if (!takeValue(out))
                return fail("option " + name + " needs a value");
            return std::nullopt;
        };
        uint64_t n = 0;
        std::string v;

        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--host") {
            if (auto e = needValue(arg, o.host))
                return *e;
        } else if (arg == "--port") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 65535, n) || n == 0)
                return fail("--port needs a number from 1 to 65535, not '" + v + "'");
            o.port = uint16_t(n);
        } else if (arg == "--password") {
            if (auto e = needValue(arg, o.password))
                return *e;
        } else if (arg == "--timeout") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 3600000, n) || n == 0)
                return fail("--timeout needs milliseconds from 1 to 3600000, not '" + v + "'");
            o.timeoutMs = uint32_t(n);
        } else if (arg == "--keepalive") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 255, n))
                return fail("--keepalive needs seconds from 0 to 255, not '" + v + "'");
            o.keepaliveSeconds = uint8_t(n);
        } else if (arg == "--genre" || arg == "--artist" || arg == "--album" ||
                   arg == "--composer") {
            if (auto e = needValue(arg, v))
                return *e;
            (arg == "--genre"    ? o.genre
             : arg == "--artist" ? o.artist
             : arg == "--album"  ? o.album
                                 : o.composer) = v;
        } else if (arg == "--size") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 65535, n) || n == 0)
                return fail("--size needs pixels from 1 to 65535, not '" + v + "'");
            o.coverSize = uint16_t(n);
        } else if (arg == "--output" || arg == "-o") {
            if (auto e = needValue(arg, o.output))
                return *e;
        } else if (arg == "--count") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 0xFFFFFFFF, n) || n == 0)
                return fail("--count needs a positive number, not '" + v + "'");
            o.count = uint32_t(n);
        } else if (arg == "--seconds") {
            if (auto e = needValue(arg, v))
                return *e;
            if (!parseUnsigned(v, 4000000, n) || n == 0)
                return fail("--seconds needs a positive number, not '" + v + "'");
            o.seconds = uint32_t(n);
        } else if (arg == "--then") {
            if (auto e = needValue(arg, o.then))
                return *e;
            if (o.then != "stop" && o.then != "shutdown" && o.then != "suspend")
                return fail("--then must be stop, shutdown or suspend, not '" + o.then + "'");
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
            return fail("unknown option '" + arg + "'");
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.args.push_back(arg);
        }
    }

    if (o.help || o.command == "help") {
        o.help = true;
        result.ok = true;
        return result;
    }
    if (o.command.empty())
        return fail("no command given");
    auto it = commands().find(o.command);
    if (it == commands().end())
        return fail("unknown command '" + o.command + "'");
    const int given = int(o.args.size());
    if (given < it->second.minArgs || (it->second.maxArgs >= 0 && given > it->second.maxArgs))
        return fail("wrong number of arguments for '" + o.command + "'");

    // Per-command checks, so a mistake is reported before connecting.
    const std::string& c = o.command;
    uint64_t number = 0;
    if (c == "volume" && given == 1 && !parseUnsigned(o.args[0], 100, number))
        return fail("volume needs a percentage from 0 to 100, not '" + o.args[0] + "'");
    if (c == "seek") {
        uint64_t ms = 0;
        if (!parsePosition(o.args[0], ms))
            return fail("seek needs seconds, M:SS or H:MM:SS, not '" + o.args[0] + "'");
    }
    if (c == "shuffle" && given == 1 && o.args[0] != "on" && o.args[0] != "off")
        return fail("shuffle takes on or off, not '" + o.args[0] + "'");
    if (c == "browse" && !o.genre && !o.artist && !o.album && !o.composer)
        return fail("browse needs at least one of --genre, --artist, --album, --composer");
    if (c == "cover" && o.output.empty())
        return fail("cover needs --output FILE");
    if (c == "cover" && o.artist && !o.album)
        return fail("cover --artist needs --album too");
    if (c == "eq" && given > 0) {
        const std::string& sub = o.args[0];
        uint64_t n = 0;
        if (sub == "on" || sub == "off" || sub == "presets") {
            if (given != 1)
                return fail("eq " + sub + " takes no further arguments");
        } else if (sub == "preset") {
            if (given != 2 || !parseUnsigned(o.args[1], 0xFFFFFFFF, n))
                return fail("eq preset needs a preset number");
        } else if (sub == "set") {
            // The band count is checked against the server's equalizer when it runs.
            if (given < 3)
                return fail("eq set needs PREAMP and band values");
            for (size_t i = 1; i < o.args.size(); ++i)
                if (!parseUnsigned(o.args[i], 200, n))
                    return fail("eq set values must be 0..200, not '" + o.args[i] + "'");
        } else {
            return fail("eq takes on, off, presets, preset N or set, not '" + sub + "'");
        }
    }
    if (c == "sleep-timer" && given == 1) {
        uint64_t minutes = 0;
        const std::string& a = o.args[0];
        if (a != "off" && a != "end-of-list" && !parseUnsigned(a, 71582, minutes))
            return fail("sleep-timer takes MINUTES, end-of-list or off, not '" + a + "'");
    }
    if ((o.count || o.seconds) && c != "watch")
        return fail("--count and --seconds belong to watch");
    result.ok = true;
    return result;
}

namespace {

// --- running ------------------------------------------------------------------------------

class Session {
public:
    Session(const CliOptions& o, std::ostream& out, std::ostream& err)
        : o_(o), out_(out), err_(err) {}

    int open() {
        const std::string host = o_.host == "localhost" ? "127.0.0.1" : o_.host;
        ClientStatus s = client_.connect(host, o_.port, o_.timeoutMs);
        // The server serves one app and ends a closed session on its own thread: right after
        // an earlier command it may still refuse us for a moment, so try a few more times.
        const uint32_t start = platform::tickCount();
        for (int attempt = 0; s == ClientStatus::NoGreeting && attempt < 5 &&
                              platform::tickCount() - start + 100 < o_.timeoutMs;
             ++attempt) {
            platform::sleepMs(100);
            s = client_.connect(host, o_.port, o_.timeoutMs);
        }
        if (s == ClientStatus::ConnectFailed) {
            err_ << "tandravole-remote: cannot connect to " << o_.host << ":" << o_.port
                 << " (connection refused, host unreachable, or not an IPv4 address)\n";
            return EXIT_CONNECT;
        }
        if (s != ClientStatus::Ok)
            return fail(s, "waiting for the server's greeting");
        s = client_.login(o_.password, true, o_.keepaliveSeconds, o_.timeoutMs);
        if (s == ClientStatus::LoginRefused) {
            err_ << "tandravole-remote: login refused: "
                 << (o_.password.empty() ? "the server needs a password (use --password)"
                                         : "wrong password")
                 << "\n";
            return EXIT_LOGIN;
        }
        if (s != ClientStatus::Ok)
            return fail(s, "logging in");
        return EXIT_OK;
    }

    int fail(ClientStatus s, const char* doing) {
        err_ << "tandravole-remote: " << describeStatus(s) << " while " << doing << "\n";
        switch (s) {
        case ClientStatus::Timeout:
            return EXIT_TIMEOUT;
        case ClientStatus::Closed:
            return EXIT_CLOSED;
        case ClientStatus::NoGreeting:
        case ClientStatus::ConnectFailed:
            return EXIT_CONNECT;
        case ClientStatus::LoginRefused:
            return EXIT_LOGIN;
        default:
            return EXIT_FAILED;
        }
    }

    void print(const Value& v) {
        if (o_.json)
            out_ << v.json() << "\n";
        else
            v.printText(out_);
    }

    // Sends QUERY_TRACK_TEXT, which the server always answers, and hands every message that
    // arrives before its answer to `collect`. Replies come in request order, so whatever
    // an earlier request produced has arrived by then.
    ClientStatus untilBarrier(const std::function<void(const wire::ReceivedMessage&)>& collect) {
        if (!client_.query(wire::QUERY_TRACK_TEXT, 0))
            return ClientStatus::SendFailed;
        wire::ReceivedMessage m;
        for (;;) {
            ClientStatus s =
                client_.waitFor([](const wire::ReceivedMessage&) { return true; }, m, o_.timeoutMs);
            if (s != ClientStatus::Ok)
                return s;
            if (m.type == wire::MSG_TRACK_TEXT)
                return ClientStatus::Ok;
            collect(m);
        }
    }

    // Waits for one reply of a type, or reports nothing when the barrier comes first.
    template <class M> ClientStatus replyOrNothing(std::optional<M>& reply) {
        return untilBarrier([&](const wire::ReceivedMessage& m) {
            if (auto decoded = decodeAs<M>(m))
                reply = std::move(decoded);
        });
    }

    std::optional<wire::PlayerStatusMessage> status(ClientStatus& s) {
        std::optional<wire::PlayerStatusMessage> reply;
        if (!client_.query(wire::QUERY_PLAYER_STATUS, 0)) {
            s = ClientStatus::SendFailed;
            return reply;
        }
        s = replyOrNothing(reply);
        return reply;
    }

    int commandThenStatus(uint8_t code, uint32_t argument, const char* what) {
        if (!client_.command(code, argument))
            return fail(ClientStatus::SendFailed, what);
        ClientStatus s;
        auto st = status(s);
        if (s != ClientStatus::Ok)
            return fail(s, what);
        Value v = Value::object();
        v.set("ok", true);
        v.set("command", what);
        if (st)
            v.append(describe(*st));
        print(v);
        return EXIT_OK;
    }

    int runStatus() {
        std::optional<wire::PlayerStatusMessage> st;
        std::optional<wire::TrackInfoMessage> track;
        if (!client_.query(wire::QUERY_PLAYER_STATUS, 0) ||
            !client_.query(wire::QUERY_TRACK_INFO, 0xFFFFFFFF))
            return fail(ClientStatus::SendFailed, "asking for the status");
        ClientStatus s = untilBarrier([&](const wire::ReceivedMessage& m) {
            if (auto d = decodeAs<wire::PlayerStatusMessage>(m))
                st = d;
            else if (auto t = decodeAs<wire::TrackInfoMessage>(m))
                track = t;
        });
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the status");
        if (!st) {
            err_ << "tandravole-remote: the player reported no status\n";
            return EXIT_FAILED;
        }
        Value v = describe(*st);
        v.set("track", track ? describe(*track) : Value());
        print(v);
        return EXIT_OK;
    }

    int runPause() {
        ClientStatus s;
        auto st = status(s);
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the status");
        if (!st || st->status.playState != 0) {
            Value v = Value::object();
            v.set("ok", false);
            v.set("reason", "not playing");
            print(v);
            return EXIT_OK;
        }
        return commandThenStatus(wire::CMD_PLAY_PAUSE, 0, "pause");
    }

    int runVolume() {
        if (o_.args.empty()) {
            ClientStatus s;
            auto st = status(s);
            if (s != ClientStatus::Ok)
                return fail(s, "asking for the volume");
            if (!st) {
                err_ << "tandravole-remote: the player reported no status\n";
                return EXIT_FAILED;
            }
            print(describe(*st));
            return EXIT_OK;
        }
        uint64_t percent = 0;
        parseUnsigned(o_.args[0], 100, percent);
        // The 16-bit level travels in the high half of the argument, low bytes zero.
        const uint32_t level = uint32_t(std::lround(double(percent) * 655.35));
        return commandThenStatus(wire::CMD_VOLUME, level << 16, "volume");
    }

    int runShuffle() {
        bool on;
        if (o_.args.empty()) {
            ClientStatus s;
            auto st = status(s);
            if (s != ClientStatus::Ok)
                return fail(s, "asking for the status");
            if (!st) {
                err_ << "tandravole-remote: the player reported no status\n";
                return EXIT_FAILED;
            }
            Value v = Value::object();
            v.set("shuffle", st->status.shuffle != 0);
            print(v);
            return EXIT_OK;
        }
        on = o_.args[0] == "on";
        return commandThenStatus(wire::CMD_SHUFFLE, on ? 1 : 0, "shuffle");
    }

    int runList(uint8_t sub, const char* what) {
        const uint32_t requestId = 0x7A000000u | (platform::tickCount() & 0xFFFFFF);
        if (!client_.query(sub, requestId))
            return fail(ClientStatus::SendFailed, what);
        return printLibraryReply(
            what, [&](const wire::LibraryListMessage& m) { return m.requestId == requestId; });
    }

    int printLibraryReply(const char* what,
                          const std::function<bool(const wire::LibraryListMessage&)>& mine) {
        std::optional<Value> result;
        ClientStatus s = untilBarrier([&](const wire::ReceivedMessage& m) {
            if (auto list = decodeAs<wire::LibraryListMessage>(m)) {
                if (mine(*list))
                    result = describe(*list);
            } else if (auto found = decodeAs<wire::SearchResultsMessage>(m)) {
                result = describe(*found);
            }
        });
        if (s != ClientStatus::Ok)
            return fail(s, what);
        if (!result) {
            Value v = Value::object();
            v.set("count", 0u);
            v.set("entries", Value::array());
            print(v);
            return EXIT_OK;
        }
        print(*result);
        return result->find("malformed") ? EXIT_FAILED : EXIT_OK;
    }

    int runBrowse() {
        wire::LibraryQueryExMessage q;
        q.requestId = 0x7B000000u | (platform::tickCount() & 0xFFFFFF);
        const std::optional<std::string>* texts[4] = {&o_.genre, &o_.artist, &o_.album,
                                                      &o_.composer};
        for (int i = 0; i < 4; ++i) {
            if (*texts[i]) {
                q.mask |= 1u << i;
                q.texts[size_t(i)] = **texts[i];
            }
        }
        if (!client_.send(q))
            return fail(ClientStatus::SendFailed, "browsing");
        const uint32_t id = q.requestId;
        return printLibraryReply(
            "browsing", [&](const wire::LibraryListMessage& m) { return m.requestId == id; });
    }

    int runSearch() {
        wire::SearchMessage q;
        q.searchId = 0x7C000000u | (platform::tickCount() & 0xFFFFFF);
        for (const auto& word : o_.args)
            q.text += (q.text.empty() ? "" : " ") + word;
        if (!client_.send(q))
            return fail(ClientStatus::SendFailed, "searching");
        return printLibraryReply("searching", [](const wire::LibraryListMessage&) { return true; });
    }

    int runNowPlaying() {
        if (!client_.query(wire::QUERY_NOW_PLAYING, 0))
            return fail(ClientStatus::SendFailed, "asking for the playing-now list");
        wire::ReceivedMessage m;
        ClientStatus s = client_.waitForType(wire::MSG_NOW_PLAYING_LIST, m, o_.timeoutMs);
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the playing-now list");
        auto list = decodeAs<wire::NowPlayingListMessage>(m);
        if (!list) {
            err_ << "tandravole-remote: malformed playing-now list\n";
            return EXIT_FAILED;
        }
        print(describe(*list));
        return EXIT_OK;
    }

    int runPlaylists() {
        if (!client_.query(wire::QUERY_PLAYLISTS, 0xFFFFFFFF))
            return fail(ClientStatus::SendFailed, "asking for the playlists");
        std::optional<wire::PlaylistsMessage> reply;
        ClientStatus s = replyOrNothing(reply);
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the playlists");
        print(reply ? describe(*reply) : describe(wire::PlaylistsMessage{}));
        return EXIT_OK;
    }

    bool writeFile(const std::vector<uint8_t>& bytes) {
        std::ofstream file(o_.output, std::ios::binary | std::ios::trunc);
        if (!file)
            return false;
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(file);
    }

    int savedCover(const std::vector<uint8_t>& image, Value v) {
        if (!writeFile(image)) {
            err_ << "tandravole-remote: cannot write " << o_.output << "\n";
            return EXIT_FILE;
        }
        v.set("file", o_.output);
        print(v);
        return EXIT_OK;
    }

    int runCover() {
        if (!o_.album) {
            if (!client_.query(wire::QUERY_TRACK_COVER, 0xFFFFFFFF, o_.coverSize))
                return fail(ClientStatus::SendFailed, "asking for the cover");
            wire::ReceivedMessage m;
            ClientStatus s = client_.waitFor(
                [](const wire::ReceivedMessage& r) {
                    return r.type == wire::MSG_TRACK_COVER || r.type == wire::MSG_TRACK_COVER_NONE;
                },
                m, o_.timeoutMs);
            if (s != ClientStatus::Ok)
                return fail(s, "asking for the cover");
            auto cover = decodeAs<wire::TrackCoverMessage>(m);
            if (!cover) {
                err_ << "tandravole-remote: the current track has no cover\n";
                return EXIT_FAILED;
            }
            return savedCover(cover->image, describe(*cover));
        }

        wire::CoverRequestMessage q;
        q.album = *o_.album;
        q.hasArtist = o_.artist.has_value();
        q.artist = o_.artist.value_or("");
        q.tag1 = platform::tickCount();
        q.tag2 = 0x00C0;
        q.tag3 = 1;
        q.requestedSize = o_.coverSize;
        if (!client_.send(q))
            return fail(ClientStatus::SendFailed, "asking for the cover");
        // Covers are looked up off the message thread and a missing one gets no answer, so
        // this waits for the reply with our tags until the time-out.
        wire::ReceivedMessage m;
        ClientStatus s = client_.waitFor(
            [&](const wire::ReceivedMessage& r) {
                auto c = decodeAs<wire::CoverMessage>(r);
                return c && c->tag1 == q.tag1 && c->tag2 == q.tag2 && c->tag3 == q.tag3;
            },
            m, o_.timeoutMs);
        if (s == ClientStatus::Timeout) {
            err_ << "tandravole-remote: no cover for album '" << q.album << "'\n";
            return EXIT_FAILED;
        }
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the cover");
        auto cover = decodeAs<wire::CoverMessage>(m);
        return savedCover(cover->image, describe(*cover));
    }

    std::optional<wire::EqualizerMessage> equalizer(ClientStatus& s) {
        std::optional<wire::EqualizerMessage> reply;
        if (!client_.query(wire::QUERY_EQUALIZER, 0)) {
            s = ClientStatus::SendFailed;
            return reply;
        }
        s = replyOrNothing(reply);
        return reply;
    }

    int runEq() {
        const std::string sub = o_.args.empty() ? "" : o_.args[0];
        ClientStatus s = ClientStatus::Ok;
        if (sub == "on" || sub == "off") {
            if (!client_.command(wire::CMD_EQUALIZER_ON, sub == "on" ? 1 : 0))
                return fail(ClientStatus::SendFailed, "switching the equalizer");
        } else if (sub == "preset") {
            uint64_t index = 0;
            parseUnsigned(o_.args[1], 0xFFFFFFFF, index);
            if (!client_.command(wire::CMD_APPLY_PRESET, uint32_t(index)))
                return fail(ClientStatus::SendFailed, "applying the preset");
        } else if (sub == "presets") {
            if (!client_.query(wire::QUERY_EQUALIZER_PRESETS, 0))
                return fail(ClientStatus::SendFailed, "asking for the presets");
            std::optional<wire::EqualizerPresetsMessage> reply;
            s = replyOrNothing(reply);
            if (s != ClientStatus::Ok)
                return fail(s, "asking for the presets");
            print(reply ? describe(*reply) : describe(wire::EqualizerPresetsMessage{}));
            return EXIT_OK;
        } else if (sub == "set") {
            auto current = equalizer(s);
            if (s != ClientStatus::Ok)
                return fail(s, "asking for the equalizer");
            if (!current) {
                err_ << "tandravole-remote: the player reported no equalizer\n";
                return EXIT_FAILED;
            }
            const size_t bands = current->setting.bands.size();
            if (o_.args.size() - 2 != bands) {
                err_ << "tandravole-remote: eq set needs PREAMP and " << bands << " band values\n";
                return EXIT_USAGE;
            }
            wire::EqualizerMessage m = *current;
            uint64_t v = 0;
            parseUnsigned(o_.args[1], 200, v);
            m.setting.preamp = uint16_t(v);
            for (size_t i = 0; i < bands; ++i) {
                parseUnsigned(o_.args[i + 2], 200, v);
                m.setting.bands[i].value = uint16_t(v);
            }
            if (!client_.send(m))
                return fail(ClientStatus::SendFailed, "setting the equalizer");
        }
        auto eq = equalizer(s);
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the equalizer");
        if (!eq) {
            err_ << "tandravole-remote: the player reported no equalizer\n";
            return EXIT_FAILED;
        }
        print(describe(*eq));
        return EXIT_OK;
    }

    int runSleepTimer() {
        if (!o_.args.empty()) {
            wire::SleepTimerMessage m;
            const std::string& a = o_.args[0];
            m.action = o_.then == "shutdown" ? 1 : o_.then == "suspend" ? 2 : 0;
            if (a == "off") {
                m.enabled = false;
            } else if (a == "end-of-list") {
                m.enabled = true;
                m.mode = 1;
            } else {
                uint64_t minutes = 0;
                parseUnsigned(a, 71582, minutes);
                m.enabled = true;
                m.mode = 0;
                m.seconds = uint32_t(minutes * 60);
            }
            if (!client_.send(m))
                return fail(ClientStatus::SendFailed, "setting the sleep timer");
        }
        if (!client_.query(wire::QUERY_SLEEP_TIMER, 0))
            return fail(ClientStatus::SendFailed, "asking for the sleep timer");
        std::optional<wire::SleepTimerMessage> reply;
        ClientStatus s = replyOrNothing(reply);
        if (s != ClientStatus::Ok)
            return fail(s, "asking for the sleep timer");
        if (!reply) {
            err_ << "tandravole-remote: the player reported no sleep timer\n";
            return EXIT_FAILED;
        }
        print(describe(*reply));
        return EXIT_OK;
    }

    int runWatch() {
        const uint32_t start = platform::tickCount();
        const uint64_t limitMs = o_.seconds ? uint64_t(*o_.seconds) * 1000 : UINT64_MAX;
        uint32_t printed = 0;
        for (;;) {
            const uint64_t elapsed = platform::tickCount() - start;
            if (elapsed >= limitMs)
                return EXIT_OK;
            const uint64_t left = limitMs - elapsed;
            wire::ReceivedMessage m;
            ClientStatus s = client_.receive(m, uint32_t(left < 1000 ? left : 1000));
            if (s == ClientStatus::Timeout)
                continue;
            if (s != ClientStatus::Ok)
                return fail(s, "watching");
            Value v = describeMessage(m);
            if (o_.json)
                out_ << v.json() << "\n";
            else
                out_ << v.inlineText() << "\n";
            out_.flush();
            if (o_.count && ++printed >= *o_.count)
                return EXIT_OK;
        }
    }

    int run() {
        const std::string& c = o_.command;
        if (c == "status")
            return runStatus();
        if (c == "play")
            return commandThenStatus(wire::CMD_PLAY, 0, "play");
        if (c == "pause")
            return runPause();
        if (c == "stop")
            return commandThenStatus(wire::CMD_STOP, 0, "stop");
        if (c == "next")
            return commandThenStatus(wire::CMD_NEXT, 0, "next");
        if (c == "prev")
            return commandThenStatus(wire::CMD_PREVIOUS, 0, "prev");
        if (c == "volume")
            return runVolume();
        if (c == "seek") {
            uint64_t ms = 0;
            parsePosition(o_.args[0], ms);
            return commandThenStatus(wire::CMD_SEEK, uint32_t(ms), "seek");
        }
        if (c == "shuffle")
            return runShuffle();
        if (c == "repeat")
            return commandThenStatus(wire::CMD_REPEAT, 0, "repeat");
        if (c == "now-playing")
            return runNowPlaying();
        if (c == "playlists")
            return runPlaylists();
        if (c == "artists")
            return runList(wire::QUERY_ARTISTS, "listing artists");
        if (c == "albums")
            return runList(wire::QUERY_ALBUMS, "listing albums");
        if (c == "genres")
            return runList(wire::QUERY_GENRES, "listing genres");
        if (c == "composers")
            return runList(wire::QUERY_COMPOSERS, "listing composers");
        if (c == "browse")
            return runBrowse();
        if (c == "search")
            return runSearch();
        if (c == "cover")
            return runCover();
        if (c == "eq")
            return runEq();
        if (c == "sleep-timer")
            return runSleepTimer();
        if (c == "watch")
            return runWatch();
        err_ << "tandravole-remote: unknown command '" << c << "'\n";
        return EXIT_USAGE;
    }

private:
    const CliOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    RemoteClient client_;
};

} // namespace

int runCli(const CliOptions& options, std::ostream& out, std::ostream& err) {
    if (options.help) {
        out << usageText();
        return EXIT_OK;
    }
    Session session(options, out, err);
    if (int code = session.open(); code != EXIT_OK)
        return code;
    return session.run();
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParseResult parsed = parseCommandLine(args);
    if (!parsed.ok) {
        err << "tandravole-remote: " << parsed.error << "\n"
            << "Try 'tandravole-remote --help' for the commands and options.\n";
        return EXIT_USAGE;
    }
    return runCli(parsed.options, out, err);
}

} // namespace remote
