// tandravole-remote: every documented synopsis parses and runs against the real engine (with
// the shared recording delegate behind it), --help shows every command and option, mistakes are
// refused before connecting, and what is printed for each server message.
#include "client/Cli.h"
#include "client/CliCommands.h"
#include "client/Describe.h"
#include "client/RemoteClient.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/WinampMediaLibraryList.h"
#include "tests/support/TestSocket.h"
#include "tools/testkit/RecordingDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace remote;
using testing_support::waitUntil;
using testkit::Answers;
using testkit::Op;
using testkit::RecordingDelegate;

namespace {

using Args = std::vector<std::string>;

// Sample values for the placeholders of the synopses.
const std::map<std::string, Args>& samples() {
    static const std::map<std::string, Args> values = {
        {"PERCENT", {"50"}}, {"POSITION", {"1:30"}}, {"WORDS...", {"first", "song"}},
        {"FILE", {"x.png"}}, {"N", {"3"}},           {"B", {"Blue"}},
        {"A", {"Ann"}},      {"G", {"Jazz"}},        {"C", {"Satie"}},
        {"S", {"1"}},        {"PREAMP", {"100"}},    {"V1..V10", Args(10, "110")},
        {"MINUTES", {"10"}},
    };
    return values;
}

// The argument lists a synopsis stands for: " | " and "a|b" separate alternatives, "[...]" is
// optional (left out first), upper-case words are placeholders for sample values.
std::vector<Args> expand(std::string_view synopsis) {
    auto closing = [&](size_t open) { // the bracket that closes the one at `open`
        for (int depth = 0;; ++open) {
            depth += synopsis[open] == '[' ? 1 : synopsis[open] == ']' ? -1 : 0;
            if (depth == 0)
                return open;
        }
    };
    for (size_t i = 0; i + 2 < synopsis.size(); ++i) {
        if (synopsis[i] == '[') {
            i = closing(i);
        } else if (synopsis.substr(i, 3) == " | ") {
            std::vector<Args> out = expand(synopsis.substr(0, i));
            for (const Args& a : expand(synopsis.substr(i + 3)))
                out.push_back(a);
            return out;
        }
    }
    std::vector<Args> out = {{}};
    for (size_t i = 0, end = 0; i < synopsis.size(); i = end + 1) {
        std::vector<Args> choices;
        if (synopsis[i] == '[') {
            end = closing(i) + 1;
            choices = expand(synopsis.substr(i + 1, end - i - 2));
            choices.insert(choices.begin(), Args{});
        } else {
            end = std::min(synopsis.find(' ', i), synopsis.size());
            const std::string word(synopsis.substr(i, end - i));
            if (std::isupper(static_cast<unsigned char>(word[0])))
                choices.push_back(samples().at(word));
            else
                for (size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
                    bar = word.find('|', start); // "on|off"
                    choices.push_back({word.substr(start, bar - start)});
                }
        }
        std::vector<Args> longer;
        for (const Args& left : out)
            for (const Args& right : choices) {
                longer.push_back(left);
                longer.back().insert(longer.back().end(), right.begin(), right.end());
            }
        out = longer;
    }
    return out;
}

// Every argument list that --help documents: each help line expanded, an option line of a
// command added to the line above it.
std::vector<Args> documentedCommandLines() {
    std::vector<Args> out;
    for (const Command& command : commandTable()) {
        Args previous;
        for (const HelpLine& line : command.help) {
            for (const Args& args : expand(line.synopsis)) {
                if (line.synopsis[0] == '-') {
                    Args combined = previous;
                    combined.insert(combined.end(), args.begin(), args.end());
                    out.push_back(combined);
                } else {
                    out.push_back(args);
                    previous = args;
                }
            }
        }
    }
    return out;
}

std::string joined(const Args& args) {
    std::string s;
    for (const auto& a : args)
        s += (s.empty() ? "" : " ") + a;
    return s;
}

TEST(CliTable, HelpShowsEveryHelpLineAndEveryGeneralOption) {
    const std::string help = usageText();
    for (const Command& command : commandTable())
        for (const HelpLine& line : command.help) {
            EXPECT_NE(help.find(line.synopsis), std::string::npos) << line.synopsis;
            EXPECT_NE(help.find(std::string(line.text).substr(0, 20)), std::string::npos)
                << line.text;
        }
    for (const Option& option : optionTable()) {
        if (!option.help)
            continue;
        const std::string shown =
            std::string(option.name) + (option.value ? std::string(" ") + option.value : "");
        EXPECT_NE(help.find(shown), std::string::npos) << shown;
    }
    for (const Args& args :
         {Args{"--help"}, Args{"-h"}, Args{"help"}, Args{"status", "--help"}, Args{"--help=yes"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine(args, out, err), EXIT_OK) << joined(args);
        EXPECT_EQ(out.str(), help) << joined(args);
        EXPECT_EQ(err.str(), "");
    }
}

// Numbers exactly at the edges of their ranges and one past them, and other mistakes, each
// refused with its reason (nullptr: accepted; "": refused for any reason).
TEST(CliArguments, NumbersAtTheirEdgesAndMistakesRefusedBeforeConnecting) {
    // clang-format off
    const std::pair<Args, const char*> cases[] = {
        {{"--port", "1", "status"}, nullptr},
        {{"--port", "0", "status"}, ""},
        {{"--port", "65535", "status"}, nullptr},
        {{"--port", "65536", "status"}, "--port needs a number"},
        {{"--timeout", "3600000", "status"}, nullptr},
        {{"--timeout", "3600001", "status"}, ""},
        {{"--timeout", "0", "status"}, ""},
        {{"--keepalive", "0", "status"}, nullptr},
        {{"--keepalive", "255", "status"}, nullptr},
        {{"--keepalive", "256", "status"}, ""},
        {{"cover", "-o", "f", "--size", "65535"}, nullptr},
        {{"cover", "-o", "f", "--size", "65536"}, ""},
        {{"cover", "-o", "f", "--size", "0"}, ""},
        {{"watch", "--count", "4294967295"}, nullptr},
        {{"watch", "--count", "4294967296"}, ""},
        {{"watch", "--count", "0"}, ""},
        {{"watch", "--seconds", "4000000"}, nullptr},
        {{"watch", "--seconds", "4000001"}, ""},
        {{"volume", "100"}, nullptr},
        {{"volume", "101"}, "percentage from 0 to 100"},
        {{"seek", "596:31:23"}, nullptr}, // 2147483 s: the largest whole second in 31 bits of ms
        {{"seek", "596:31:24"}, ""},
        {{"seek", "1:59"}, nullptr},
        {{"seek", "1:60"}, "seek needs seconds"},
        {{"seek", "1:02:03:04"}, ""},
        {{"sleep-timer", "71582"}, nullptr}, // 71582 minutes still fit 32 bits of seconds
        {{"sleep-timer", "71583"}, ""},
        {{"eq", "set", "200", "0"}, nullptr},
        {{"eq", "set", "201", "0"}, ""},
        {{"eq", "set", "100", "300"}, "0..200"},
        {{"eq", "preset", "4294967295"}, nullptr},
        {{"eq", "preset", "4294967296"}, ""},
        {{"eq", "presets", "1"}, ""},
        {{"-5", "status"}, ""}, // not an option: taken as the (unknown) command
        {{}, "no command given"},
        {{"shuffle", "maybe"}, "on or off"},
        {{"browse"}, "at least one of"},
        {{"cover", "--album", "X"}, "--output FILE"},
        {{"cover", "--artist", "A", "-o", "f"}, "--artist needs --album"},
        {{"eq", "loud"}, "eq takes on, off"},
        {{"eq", "set", "300"}, "eq set needs PREAMP"},
        {{"sleep-timer", "soon"}, "MINUTES, end-of-list or off"},
        {{"--then", "explode", "sleep-timer", "5"}, "--then must be"},
        {{"status", "--count", "3"}, "belong to watch"},
        {{"search"}, "wrong number of arguments for 'search'"},
        {{"next", "1"}, "wrong number of arguments for 'next'"},
        {{"status", "--port"}, "option --port needs a value"},
        {{"status", "--then", "x"}, "'x'"},
        {{"--colour", "status"}, "unknown option '--colour'"},
    };
    // clang-format on
    for (const auto& [args, message] : cases) {
        ParseResult r = parseCommandLine(args);
        EXPECT_EQ(r.ok, message == nullptr) << joined(args) << ": " << r.error;
        EXPECT_EQ(r.error.empty(), message == nullptr) << joined(args);
        EXPECT_NE(r.error.find(message ? message : ""), std::string::npos) << r.error;
    }
    // Refused before connecting (the port is closed), with exit code 2, the program's name, the
    // reason, and a pointer to --help.
    std::ostringstream o, e;
    EXPECT_EQ(runCommandLine({"--port", "1", "dance"}, o, e), EXIT_USAGE);
    EXPECT_EQ(e.str(), "tandravole-remote: unknown command 'dance'\nTry 'tandravole-remote "
                       "--help' for the commands and options.\n");
    EXPECT_EQ(o.str(), "");
}

// --- what the client prints for each server message ---------------------------------------

std::string described(uint32_t type, std::vector<uint8_t> payload) {
    return describeMessage(wire::ReceivedMessage{type, std::move(payload)}).json();
}
template <class M> std::string described(const M& message) {
    return described(M::kType, wire::encodePayload(message));
}

TEST(CliOutput, JsonKeepsOrderEscapesTextAndHoldsEveryNumber) {
    Value v = Value::object();
    v.set("text", std::string("a\"b\\c\n\x01\xc3\xa9/")).set("none", Value());
    v.set("numbers", Value::array()
                         .push(static_cast<long long>(INT64_MIN))
                         .push(static_cast<unsigned long long>(UINT64_MAX))
                         .push(true));
    v.set("empty", Value::object()).set("a", 1);
    EXPECT_EQ(v.json(), "{\"text\":\"a\\\"b\\\\c\\n\\u0001\xc3\xa9/\",\"none\":null,"
                        "\"numbers\":[-9223372036854775808,18446744073709551615,true],"
                        "\"empty\":{},\"a\":1}");
}

TEST(CliOutput, StatusVolumeIsRoundedToTheNearestPercent) {
    const std::pair<uint16_t, unsigned> volumes[] = {
        {0, 0}, {327, 0}, {328, 1}, {32768, 50}, {65207, 99}, {65208, 100}, {65535, 100}};
    for (const auto& [level, percent] : volumes) {
        wire::PlayerStatusMessage m;
        m.status.volume = level;
        EXPECT_EQ(describe(m).find("volume")->json(), std::to_string(percent)) << level;
    }
    wire::PlayerStatusMessage m;
    m.status = {3661000, 1, 1, 32768, 2};
    EXPECT_EQ(described(m),
              "{\"message\":\"MSG_PLAYER_STATUS\",\"state\":\"paused\",\"position\":\"1:01:01\","
              "\"positionMs\":3661000,\"volume\":50,\"volumeLevel\":32768,\"shuffle\":true,"
              "\"repeat\":\"track\"}");
}

// A sample of the server's messages, chosen where the description converts rather than copies:
// durations, flags, masks, reasons, modes and actions, malformed and unknown messages.
TEST(CliOutput, ServerMessagesAreDescribed) {
    EXPECT_EQ(described(wire::TrackInfoMessage{
                  .track = {1, 0, 4, 0, 3, {}, 7, 187000, {}, "N", "A", "L", "G", ""}}),
              "{\"message\":\"MSG_TRACK_INFO\",\"index\":7,\"current\":true,\"name\":\"N\","
              "\"artist\":\"A\",\"album\":\"L\",\"genre\":\"G\",\"duration\":\"3:07\","
              "\"durationMs\":187000,\"trackNumber\":3,\"rating\":4,"
              "\"key\":\"00000000000000000000000000000000\"}");

    EXPECT_EQ(described(wire::ServerNoticeMessage{.reason = 4}),
              "{\"message\":\"MSG_SERVER_NOTICE\",\"reason\":4,\"meaning\":\"the settings "
              "changed and the server restarts\"}");
    EXPECT_EQ(described(wire::EqualizerMessage{.setting = {"", {{60, 150}}, 90}, .enabled = 1}),
              "{\"message\":\"MSG_EQUALIZER\",\"enabled\":true,\"available\":true,"
              "\"range\":200,\"scale\":12,\"preamp\":90,\"bands\":[{\"hz\":60,"
              "\"value\":150}]}");
    const char* actions[] = {"stop", "stop and power off", "stop and sleep"};
    for (uint32_t action = 0; action < 3; ++action) {
        const wire::SleepTimerMessage sleep{
            .enabled = true, .mode = action == 0 ? 0u : 1u, .action = action, .seconds = 60};
        EXPECT_EQ(described(sleep), std::string("{\"message\":\"MSG_SLEEP_TIMER\",\"enabled\":"
                                                "true,\"mode\":\"") +
                                        (action == 0 ? "at time" : "end of list") +
                                        "\",\"action\":\"" + actions[action] +
                                        "\",\"secondsLeft\":60}");
    }
    // Unknown types, client-to-server types and malformed server messages.
    EXPECT_EQ(described(17, {}), "{\"message\":\"unknown\",\"type\":17}");
    EXPECT_EQ(described(wire::MSG_LOGIN, {}), "{\"message\":\"MSG_LOGIN\",\"type\":2}");
    EXPECT_EQ(described(wire::MSG_PLAYER_STATUS, {1, 2, 3}),
              "{\"message\":\"MSG_PLAYER_STATUS\",\"type\":6,\"malformed\":true}");
}

TEST(CliOutput, LibraryListsOfEveryKind) {
    auto list = [](uint8_t code, uint32_t count, std::vector<uint8_t> entries) {
        return described(wire::LibraryListMessage{
            .requestId = 5, .count = count, .code = code, .entries = std::move(entries)});
    };
    const std::string head = "{\"message\":\"MSG_LIBRARY_LIST\",";
    for (auto [code, kind] : {std::pair<uint8_t, std::string>{0, "artists"},
                              {2, "genres"},
                              {4, "composers"},
                              {3, "track names"}})
        EXPECT_EQ(list(code, 1, {'J', 0}), head + "\"kind\":\"" + kind +
                                               "\",\"count\":1,\"entries\":[\"J\"],\"request\":5}");
    // Title and artist pairs; an odd last text has no partner and is left out.
    EXPECT_EQ(list(5, 3, {'T', 0, 'A', 0, 'U', 0}),
              head + "\"kind\":\"albums (title, artist pairs)\",\"count\":3,\"entries\":"
                     "[{\"album\":\"T\",\"artist\":\"A\"}],\"request\":5}");

    LibraryTrackList tracks;
    tracks.entries = {{"A", "N", "L", "", 125, 0, 3, 0, 4}, {"", "M", "", "x", 0, 0, 0, 9, 0}};
    EXPECT_EQ(list(7, 2, tracks.encoded()),
              head + "\"kind\":\"tracks\",\"count\":2,\"entries\":[{\"name\":\"N\",\"artist\":"
                     "\"A\",\"album\":\"L\",\"duration\":\"2:05\",\"track\":3,\"rating\":4},"
                     "{\"name\":\"M\",\"artist\":\"\",\"album\":\"\",\"duration\":\"0:00\","
                     "\"track\":0,\"rating\":0,\"extraText\":\"x\",\"extraNumber\":9}],"
                     "\"request\":5}");
    EXPECT_EQ(list(1, 0, {}), head + "\"kind\":\"unknown\",\"count\":0,\"malformed\":true,"
                                     "\"request\":5}");
    EXPECT_EQ(list(0, 2, {'A', 0}), head + "\"kind\":\"unknown\",\"count\":2,\"malformed\":true,"
                                           "\"request\":5}");
}

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
            for (uint16_t hz : {60, 170, 310, 600, 1000, 3000, 6000, 12000, 14000, 16000})
                a.equalizer->setting.bands.push_back({hz, 100});
            a.presets.emplace();
            a.sleepTimer.emplace();
            a.albumCovers["Blue"] = {1, 2, 3};
            a.categories[player::CATEGORY_ARTISTS] =
                testkit::listOf(LibraryStringList(LIST_KIND_ARTISTS));
            a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(LibraryAlbumList());
            a.libraryQuery = testkit::listOf(LibraryTrackList());
            a.searches["first song"] = LibraryTrackList();
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

    RecordingDelegate player{RecordingDelegate::Recording::On};
    platform::ManualClock clock; // outlives the server, whose keep-alive thread reads it
    WinampControlServer server;
    uint16_t port = 0;
    std::string out, err;
};

// Interval 1 s on a clock the test moves: a probe per second, a kick after more than 2 s
// without an answer. Five seconds pass; only the client's answers keep the session. Then a
// large now-playing list arrives in an envelope, counted as it came over the connection.
TEST_F(ClientTest, KeepaliveProbesAreAnsweredAndALargeListArrivesCompressed) {
    player.edit([&](Answers& a) {
        a.nowPlaying->resize(3000);
        for (int i = 0; i < 3000; ++i)
            (*a.nowPlaying)[i].displayText = "Artist - Song number " + std::to_string(i);
    });
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
    const uint64_t before = client.bytesReceived();
    ASSERT_TRUE(client.query(wire::QUERY_NOW_PLAYING, 0));
    wire::ReceivedMessage m;
    ASSERT_EQ(client.waitForType(wire::MSG_NOW_PLAYING_LIST, m, 5000), ClientStatus::Ok);
    EXPECT_EQ(client.envelopesOpened(), 1u);
    EXPECT_LT(client.bytesReceived() - before, m.payload.size());
    auto list = decodeAs<wire::NowPlayingListMessage>(m);
    ASSERT_TRUE(list && list->entries.size() == 3000u);
    EXPECT_EQ(list->entries[2999].text, "Artist - Song number 2999");
    EXPECT_TRUE(server.loggedIn());
}

// What commands print (and a usage mistake found only once the arguments are counted), and
// the call each makes. Pause toggles only while playing; the printed status shows the result.
TEST_F(ClientTest, CommandsPrintTheirResultsAndReachThePlayer) {
    LibraryStringList artists(LIST_KIND_ARTISTS);
    artists.entries = {"Ann", "Bo"};
    LibraryAlbumList albums;
    albums.entries = {{"Blue", "Ann", 1}, {"Red", "Bo", 2}};
    LibraryTrackList tracks;
    tracks.entries = {{"Ann", "First", "", "", 125, 0, 0, 0, 0}};
    player.edit([&](Answers& a) {
        a.tracks[player::kCurrent].name = "Blue";
        a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
        a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(albums);
        a.libraryQuery = testkit::listOf(tracks);
        a.searches["first song"] = tracks;
    });
    const Args tenBands = {"0", "10", "20", "30", "40", "50", "60", "70", "80", "200"};
    Args eqSet = {"--json", "eq", "set", "110"};
    eqSet.insert(eqSet.end(), tenBands.begin(), tenBands.end());
    struct Row {
        Args args;
        int code;
        std::vector<std::string> printed; // in the output, or in the errors when refused
        std::string call;                 // "": no playback command
    };
    // clang-format off
    const Row rows[] = {
        {{"--json", "status"}, EXIT_OK,
         {"\"state\":\"playing\"", "\"position\":\"1:01\"", "\"name\":\"Blue\""}, ""},
        {{"volume", "0"}, EXIT_OK, {}, "setVolume(0)"},
        {{"pause"}, EXIT_OK, {"state: paused"}, "playbackCommand(0)"},
        {{"stop"}, EXIT_OK, {}, "playbackCommand(2)"},
        {{"pause"}, EXIT_OK, {"not playing"}, ""},
        {{"repeat"}, EXIT_OK, {"repeat: list"}, ""},
        {{"artists"}, EXIT_OK, {"  Ann\n  Bo\n"}, ""},
        {{"--json", "albums"}, EXIT_OK, {"{\"album\":\"Red\",\"artist\":\"Bo\",\"number\":2}"}, ""},
        {{"--json", "browse", "--artist", "Ann", "--composer", "C"}, EXIT_OK,
         {"\"name\":\"First\"", "\"duration\":\"2:05\""}, ""},
        {{"--json", "search", "first", "song"}, EXIT_OK, {"\"name\":\"First\""}, ""},
        {{"eq", "set", "110", "1", "2"}, EXIT_USAGE, {"10 band values"}, ""},
        {eqSet, EXIT_OK, {"\"preamp\":110", "{\"hz\":16000,\"value\":200}"},
         "setEqualizer(10,110)"},
        {{"--json", "sleep-timer", "10", "--then", "suspend"}, EXIT_OK,
         {"\"action\":\"stop and sleep\""}, "setSleepTimer(1,0,2,600)"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.args));
        player.clearCalls();
        const uint64_t commands = player.count(Op::PlaybackCommand);
        ASSERT_EQ(cli(row.args), row.code) << err;
        for (const std::string& text : row.printed)
            EXPECT_NE((row.code == EXIT_OK ? out : err).find(text), std::string::npos)
                << out << err;
        EXPECT_TRUE(row.call.empty() ? player.count(Op::PlaybackCommand) == commands
                                     : player.called(row.call));
    }
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
    // Another app holds the session (allow kick is off): refused without a greeting. The
    // server accepts at once, so it must first have seen the last command's connection close.
    server.setPassword("");
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    RemoteClient holder;
    ASSERT_EQ(holder.connect("127.0.0.1", port, 3000), ClientStatus::Ok);
    EXPECT_EQ(cli({"--timeout", "600", "status"}), EXIT_CONNECT);
    EXPECT_NE(err.find("another app may hold the session"), std::string::npos) << err;
    holder.close();
    // A listener that never greets: a time-out; once it is closed, nothing listens there.
    platform::SocketHandle mute = platform::listenTcp4(0);
    ASSERT_NE(mute, platform::kInvalidSocket);
    const std::string mutePort = std::to_string(platform::socketLocalPort(mute));
    EXPECT_EQ(cli({"--port", mutePort, "--timeout", "200", "status"}), EXIT_TIMEOUT);
    EXPECT_NE(err.find("timed out"), std::string::npos) << err;
    platform::closeSocket(mute);
    EXPECT_EQ(cli({"--port", mutePort, "status"}), EXIT_CONNECT);
    EXPECT_NE(err.find("cannot connect to 127.0.0.1:" + mutePort), std::string::npos) << err;
}

// Each documented command line parses (and every command is documented), runs against the
// engine and exits 0 (a track cover the player does not have is reported), and the commands that
// act on the player make the right call.
TEST_F(ClientTest, EveryDocumentedCommandLineRunsAndReachesThePlayer) {
    // Named after the port: suites of other checkouts may run at the same time.
    const std::string file = testing::TempDir() + "tandravole-cli-" + std::to_string(port) + ".png";
    // The call each line must make, as the start and the end of its log entry (a request id
    // or an unused argument may stand between them).
    const std::map<std::string, std::pair<std::string, std::string>> calls = {
        {"pause", {"playbackCommand(", "0)"}},
        {"play", {"playbackCommand(", "1)"}},
        {"stop", {"playbackCommand(", "2)"}},
        {"next", {"playbackCommand(", "4)"}},
        {"prev", {"playbackCommand(", "3)"}},
        {"repeat", {"toggleRepeat(", ")"}},
        {"volume 50", {"setVolume(", "32768)"}},
        {"seek 1:30", {"setPosition(", "90000)"}},
        {"shuffle on", {"setShuffle(", "1)"}},
        {"shuffle off", {"setShuffle(", "0)"}},
        {"browse --genre Jazz --artist Ann --album Blue --composer Satie",
         {"queryLibraryList(", ",Jazz,Ann,Blue,Satie)"}},
        {"search first song", {"searchLibrary(", ",first song)"}},
        {"eq set 100 110 110 110 110 110 110 110 110 110 110", {"setEqualizer(", "10,100)"}},
        {"sleep-timer 10", {"setSleepTimer(", "1,0,0,600)"}},
        {"sleep-timer end-of-list", {"setSleepTimer(", "1,1,0,0)"}},
        {"sleep-timer off", {"setSleepTimer(", "0,0,0,0)"}},
        {"sleep-timer off --then shutdown", {"setSleepTimer(", "0,0,1,0)"}},
        {"sleep-timer off --then suspend", {"setSleepTimer(", "0,0,2,0)"}},
    };
    size_t checked = 0;
    std::set<std::string> reached, all;
    for (const Command& command : commandTable())
        all.insert(command.name);
    const std::vector<Args> lines = documentedCommandLines();
    ASSERT_GT(lines.size(), all.size());
    for (Args args : lines) {
        const std::string line = joined(args);
        ParseResult parsed = parseCommandLine(args);
        EXPECT_TRUE(parsed.ok) << line << ": " << parsed.error;
        reached.insert(parsed.options.command);
        // watch runs until the connection ends unless it is given a limit.
        if (args[0] == "watch" && line.find("--seconds") == std::string::npos)
            continue;
        for (auto& a : args)
            if (a == "x.png")
                a = file;
        args.insert(args.begin(), "--json");
        // The previous run's session is over before the next one connects.
        ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; })) << line;
        const size_t before = player.calls().size();
        const int code = cli(args);
        const bool trackCover = line.rfind("cover", 0) == 0 && line.find("--album") == line.npos;
        if (trackCover) {
            EXPECT_EQ(code, EXIT_FAILED) << line;
            EXPECT_NE(err.find("has no cover"), std::string::npos) << err;
        } else {
            EXPECT_EQ(code, EXIT_OK) << line << ": " << err;
            EXPECT_TRUE(args.back() == "1" || !out.empty()) << line; // watch may see none
        }
        auto call = calls.find(line);
        if (call != calls.end()) {
            ++checked;
            const auto made = player.calls();
            const auto& [start, end] = call->second;
            const bool found = std::any_of(made.begin() + long(before), made.end(), [&](auto& c) {
                return c.rfind(start, 0) == 0 && c.size() >= start.size() + end.size() &&
                       c.compare(c.size() - end.size(), end.size(), end) == 0;
            });
            EXPECT_TRUE(found) << line << ": no " << start << "..." << end;
        }
    }
    EXPECT_EQ(checked, calls.size());
    EXPECT_EQ(reached, all);
    std::ifstream written(file, std::ios::binary); // the last album cover asked for: "Blue"
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(written), {}),
              (std::vector<uint8_t>{1, 2, 3}));
    written.close();
    std::remove(file.c_str());
}

} // namespace
