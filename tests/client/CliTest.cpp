// tandravole-remote's command and option tables: every documented synopsis parses and runs
// against the real engine, --help shows every command and option, mistakes are refused with a
// clear message before connecting, and every server message is described.
#include "client/Cli.h"
#include "client/CliCommands.h"
#include "client/Describe.h"
#include "platform/Socket.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/WinampMediaLibraryList.h"
#include "tests/support/TestSocket.h"
#include "tools/testkit/RecordingDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <utility>

using namespace remote;
using testing_support::waitUntil;

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

bool isPlaceholder(const std::string& word) {
    return std::isupper(static_cast<unsigned char>(word[0])) != 0;
}

std::vector<Args> product(const std::vector<Args>& left, const std::vector<Args>& right) {
    std::vector<Args> out;
    for (const Args& l : left)
        for (const Args& r : right) {
            Args joined = l;
            joined.insert(joined.end(), r.begin(), r.end());
            out.push_back(joined);
        }
    return out;
}

// The argument lists a synopsis stands for: " | " and "a|b" separate alternatives, "[...]" is
// optional (left out first), upper-case words are placeholders for sample values.
std::vector<Args> expand(const std::string& synopsis) {
    int depth = 0;
    for (size_t i = 0; i + 2 < synopsis.size(); ++i) {
        depth += synopsis[i] == '[' ? 1 : synopsis[i] == ']' ? -1 : 0;
        if (depth == 0 && synopsis.compare(i, 3, " | ") == 0) {
            std::vector<Args> out = expand(synopsis.substr(0, i));
            for (const Args& a : expand(synopsis.substr(i + 3)))
                out.push_back(a);
            return out;
        }
    }
    std::vector<Args> out = {{}};
    size_t i = 0;
    while (i < synopsis.size()) {
        if (synopsis[i] == ' ') {
            ++i;
        } else if (synopsis[i] == '[') {
            size_t end = i;
            for (int d = 0; end < synopsis.size(); ++end) {
                d += synopsis[end] == '[' ? 1 : synopsis[end] == ']' ? -1 : 0;
                if (d == 0)
                    break;
            }
            std::vector<Args> choices = {{}};
            for (const Args& a : expand(synopsis.substr(i + 1, end - i - 1)))
                choices.push_back(a);
            out = product(out, choices);
            i = end + 1;
        } else {
            size_t end = synopsis.find(' ', i);
            const std::string word = synopsis.substr(i, end == std::string::npos ? end : end - i);
            std::vector<Args> choices;
            if (isPlaceholder(word)) {
                auto it = samples().find(word);
                if (it == samples().end())
                    ADD_FAILURE() << "no sample value for " << word << " in '" << synopsis << "'";
                else
                    choices.push_back(it->second);
            } else {
                for (size_t start = 0;;) { // "on|off"
                    size_t bar = word.find('|', start);
                    choices.push_back({word.substr(start, bar - start)});
                    if (bar == std::string::npos)
                        break;
                    start = bar + 1;
                }
            }
            out = product(out, choices);
            i = end == std::string::npos ? synopsis.size() : end;
        }
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

TEST(CliTable, EveryDocumentedSynopsisParsesAndEveryCommandIsDocumented) {
    std::set<std::string> reached;
    const std::vector<Args> lines = documentedCommandLines();
    ASSERT_GT(lines.size(), commandTable().size());
    for (const Args& args : lines) {
        ParseResult r = parseCommandLine(args);
        EXPECT_TRUE(r.ok) << joined(args) << ": " << r.error;
        EXPECT_EQ(r.options.command, args[0]) << joined(args);
        reached.insert(r.options.command);
    }
    std::set<std::string> all;
    for (const Command& command : commandTable())
        all.insert(command.name);
    EXPECT_EQ(reached, all);
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

// Refused before connecting (the port is closed), with exit code 2, the program's name, the
// reason, and a pointer to --help.
TEST(CliTable, VersionIsTheProductsInFourParts) {
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine({"--port", "1", "--version"}, out, err), EXIT_OK);
    const std::string said = out.str();
    EXPECT_EQ(said, std::string("tandravole-remote ") + TANDRAVOLE_FILE_VERSION + "\n");
    EXPECT_EQ(std::count(said.begin(), said.end(), '.'), 3);
    EXPECT_EQ(err.str(), "");
}

TEST(CliTable, MistakesGiveAClearErrorAndExitCodeTwo) {
    std::vector<std::pair<Args, std::string>> cases;
    for (const Command& command : commandTable()) {
        if (command.maxArgs >= 0)
            cases.push_back({[&] {
                                 Args a = {command.name};
                                 a.insert(a.end(), size_t(command.maxArgs) + 1, "1");
                                 return a;
                             }(),
                             "wrong number of arguments for '" + std::string(command.name) + "'"});
        if (command.minArgs > 0)
            cases.push_back({{command.name},
                             "wrong number of arguments for '" + std::string(command.name) + "'"});
    }
    for (const Option& option : optionTable())
        if (option.value)
            cases.push_back(
                {{"status", option.name}, "option " + std::string(option.name) + " needs a value"});
    cases.push_back({{"dance"}, "unknown command 'dance'"});
    cases.push_back({{"--colour", "status"}, "unknown option '--colour'"});
    for (const auto& [args, message] : cases) {
        Args withPort = {"--port", "1"};
        withPort.insert(withPort.end(), args.begin(), args.end());
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine(withPort, out, err), EXIT_USAGE) << joined(args);
        EXPECT_EQ(err.str(), "tandravole-remote: " + message +
                                 "\nTry 'tandravole-remote --help' for the commands and options.\n")
            << joined(args);
        EXPECT_EQ(out.str(), "");
    }
    // A value an option refuses is named with the option.
    int refused = 0;
    for (const Option& option : optionTable()) {
        if (!option.value)
            continue;
        ParseResult r = parseCommandLine({"status", option.name, "x"});
        if (!r.ok) {
            ++refused;
            EXPECT_NE(r.error.find(option.name), std::string::npos) << r.error;
            EXPECT_NE(r.error.find("'x'"), std::string::npos) << r.error;
        }
    }
    EXPECT_EQ(refused, 7); // the six numbers and --then
}

TEST(CliTable, NumbersAtTheEdgesOfTheirRanges) {
    const std::pair<Args, bool> cases[] = {
        {{"--port", "1", "status"}, true},
        {{"--port", "0", "status"}, false},
        {{"--port", "65535", "status"}, true},
        {{"--port", "65536", "status"}, false},
        {{"--timeout", "3600000", "status"}, true},
        {{"--timeout", "3600001", "status"}, false},
        {{"--timeout", "0", "status"}, false},
        {{"--keepalive", "0", "status"}, true},
        {{"--keepalive", "255", "status"}, true},
        {{"--keepalive", "256", "status"}, false},
        {{"cover", "-o", "f", "--size", "65535"}, true},
        {{"cover", "-o", "f", "--size", "65536"}, false},
        {{"cover", "-o", "f", "--size", "0"}, false},
        {{"watch", "--count", "4294967295"}, true},
        {{"watch", "--count", "4294967296"}, false},
        {{"watch", "--count", "0"}, false},
        {{"watch", "--seconds", "4000000"}, true},
        {{"watch", "--seconds", "4000001"}, false},
        {{"volume", "100"}, true},
        {{"volume", "101"}, false},
        {{"seek", "596:31:23"}, true}, // 2147483 s: the largest whole second in 31 bits of ms
        {{"seek", "596:31:24"}, false},
        {{"seek", "1:59"}, true},
        {{"seek", "1:60"}, false},
        {{"seek", "1:02:03:04"}, false},
        {{"sleep-timer", "71582"}, true}, // 71582 minutes still fit 32 bits of seconds
        {{"sleep-timer", "71583"}, false},
        {{"eq", "set", "200", "0"}, true},
        {{"eq", "set", "201", "0"}, false},
        {{"eq", "preset", "4294967295"}, true},
        {{"eq", "preset", "4294967296"}, false},
        {{"eq", "presets", "1"}, false},
        {{"-5", "status"}, false}, // not an option: taken as the (unknown) command
    };
    for (const auto& [args, ok] : cases) {
        ParseResult r = parseCommandLine(args);
        EXPECT_EQ(r.ok, ok) << joined(args) << ": " << r.error;
        EXPECT_EQ(r.error.empty(), ok) << joined(args);
    }
}

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::socketStartup());
        player.edit([](testkit::Answers& a) {
            a.status = PlayerStatus{61000, 0, 0, 0x8080, 0};
            a.followCommands = true;
            a.nowPlaying.emplace();
            a.playlists.emplace();
            a.trackText = testkit::Answers::TrackText{"current", {}};
            a.equalizer.emplace();
            for (uint16_t hz : {60, 170, 310, 600, 1000, 3000, 6000, 12000, 14000, 16000})
                a.equalizer->setting.bands.push_back({hz, 100});
            a.presets.emplace();
            a.sleepTimer.emplace();
            a.albumCovers["Blue"] = {1, 2, 3};
            a.coverArtist = "Cover Artist";
            a.categories[player::CATEGORY_ARTISTS] =
                testkit::listOf(LibraryStringList(LIST_KIND_ARTISTS));
            a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(LibraryAlbumList());
            a.libraryQuery = testkit::listOf(LibraryTrackList());
            a.searches["first song"] = LibraryTrackList();
        });
        server.setDelegate(&player);
        server.setAllCapabilities();
        ASSERT_TRUE(server.listen(0));
        port = server.boundPort();
    }
    void TearDown() override { platform::socketCleanup(); }

    testkit::RecordingDelegate player{testkit::RecordingDelegate::Recording::On};
    WinampControlServer server;
    uint16_t port = 0;
};

// Each documented command line runs against the engine: it exits 0 (a track cover the player
// does not have is reported), and the commands that act on the player make the right call.
TEST_F(CliRunTest, EveryDocumentedCommandLineRunsAndReachesThePlayer) {
    const std::string file = testing::TempDir() + "tandravole-cli-test.png";
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
    for (Args args : documentedCommandLines()) {
        const std::string line = joined(args);
        // watch runs until the connection ends unless it is given a limit.
        if (args[0] == "watch" && line.find("--seconds") == std::string::npos)
            continue;
        for (auto& a : args)
            if (a == "x.png")
                a = file;
        args.insert(args.begin(), {"--port", std::to_string(port), "--timeout", "3000", "--json"});
        // The previous run's session is over before the next one connects.
        ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; })) << line;
        const size_t before = player.calls().size();
        std::ostringstream out, err;
        const int code = runCommandLine(args, out, err);
        const bool trackCover = line.rfind("cover", 0) == 0 && line.find("--album") == line.npos;
        if (trackCover) {
            EXPECT_EQ(code, EXIT_FAILED) << line;
            EXPECT_NE(err.str().find("has no cover"), std::string::npos) << err.str();
        } else {
            EXPECT_EQ(code, EXIT_OK) << line << ": " << err.str();
            EXPECT_TRUE(args.back() == "1" || !out.str().empty()) << line; // watch may see none
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
    std::remove(file.c_str());
}

// --- what the client prints for each server message ---------------------------------------

template <class M> std::string described(const M& message) {
    const std::vector<uint8_t> frame = wire::encodeFrame(message);
    wire::ReceivedMessage m;
    m.type = M::kType;
    m.payload.assign(frame.begin() + 12, frame.end());
    return describeMessage(m).json();
}

std::string described(uint32_t type, std::vector<uint8_t> payload) {
    wire::ReceivedMessage m;
    m.type = type;
    m.payload = std::move(payload);
    return describeMessage(m).json();
}

TEST(CliOutput, DurationsStatesAndNamesAtTheirEdges) {
    const std::pair<uint64_t, const char*> durations[] = {
        {0, "0:00"},          {999, "0:00"},        {59999, "0:59"},
        {60000, "1:00"},      {187000, "3:07"},     {3599999, "59:59"},
        {3600000, "1:00:00"}, {3661000, "1:01:01"}, {360000000, "100:00:00"}};
    for (const auto& [ms, text] : durations)
        EXPECT_EQ(formatDuration(ms), text) << ms;
    EXPECT_STREQ(playStateName(0), "playing");
    EXPECT_STREQ(playStateName(1), "paused");
    EXPECT_STREQ(playStateName(2), "stopped");
    EXPECT_STREQ(playStateName(3), "unknown");
    EXPECT_STREQ(repeatModeName(0), "off");
    EXPECT_STREQ(repeatModeName(1), "track");
    EXPECT_STREQ(repeatModeName(2), "list");
    EXPECT_STREQ(repeatModeName(3), "off");
    EXPECT_STREQ(noticeReasonName(1), "the computer is suspending");
    EXPECT_STREQ(noticeReasonName(2), "the Windows session is ending");
    EXPECT_STREQ(noticeReasonName(4), "the settings changed and the server restarts");
    EXPECT_STREQ(noticeReasonName(8), "another app has taken over the connection");
    EXPECT_STREQ(noticeReasonName(3), "unknown reason");
    TrackKey key;
    key.bytes = {0x00, 0x01, 0x0F, 0x10, 0x7F, 0x80, 0xAB, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x5A};
    EXPECT_EQ(hexKey(key), "00010f107f80abff000000000000005a");
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
        Value v = describe(m);
        EXPECT_EQ(v.find("volume")->json(), std::to_string(percent)) << level;
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
    wire::HelloMessage hello;
    hello.passwordRequired = 1;
    EXPECT_EQ(described(hello),
              "{\"message\":\"MSG_HELLO\",\"version\":770,\"passwordRequired\":true}");
    EXPECT_EQ(described(wire::LoginResultMessage{}),
              "{\"message\":\"MSG_LOGIN_RESULT\",\"accepted\":false}");

    wire::TrackInfoMessage track;
    track.track = {1, 0, 4, 0, 3, {}, 7, 187000, {}, "N", "A", "L", "G", ""};
    EXPECT_EQ(described(track),
              "{\"message\":\"MSG_TRACK_INFO\",\"index\":7,\"current\":true,\"name\":\"N\","
              "\"artist\":\"A\",\"album\":\"L\",\"genre\":\"G\",\"duration\":\"3:07\","
              "\"durationMs\":187000,\"trackNumber\":3,\"rating\":4,"
              "\"key\":\"00000000000000000000000000000000\"}");

    wire::PlaylistsExMessage ex;
    ex.parameter = 5;
    ex.listFlags = 1;
    ex.playlists = {{"X", 1, 2, 0x0101}};
    EXPECT_EQ(described(ex), "{\"message\":\"MSG_PLAYLISTS_EX\",\"parameter\":5,\"listFlags\":1,"
                             "\"count\":1,\"playlists\":[{\"id\":1,\"files\":2,\"name\":\"X\","
                             "\"flags\":3}]}");
    wire::CapabilitiesMessage caps;
    caps.mask = 0x77FFFF;
    EXPECT_EQ(described(caps),
              "{\"message\":\"MSG_CAPABILITIES\",\"mask\":\"0x000000000077ffff\"}");
    wire::ServerNoticeMessage notice;
    notice.reason = 4;
    EXPECT_EQ(described(notice),
              "{\"message\":\"MSG_SERVER_NOTICE\",\"reason\":4,\"meaning\":\"the settings "
              "changed and the server restarts\"}");
    wire::CompressedMessage envelope;
    envelope.uncompressedLength = 100;
    envelope.innerType = 19;
    EXPECT_EQ(described(envelope), "{\"message\":\"MSG_COMPRESSED\",\"innerType\":19,"
                                   "\"uncompressedLength\":100}");
    wire::EqualizerMessage eq;
    eq.enabled = 1;
    eq.setting.preamp = 90;
    eq.setting.bands = {{60, 150}};
    EXPECT_EQ(described(eq), "{\"message\":\"MSG_EQUALIZER\",\"enabled\":true,\"available\":true,"
                             "\"range\":200,\"scale\":12,\"preamp\":90,\"bands\":[{\"hz\":60,"
                             "\"value\":150}]}");
    const char* actions[] = {"stop", "stop and power off", "stop and sleep"};
    for (uint32_t action = 0; action < 3; ++action) {
        wire::SleepTimerMessage sleep;
        sleep.enabled = true;
        sleep.mode = action == 0 ? 0 : 1;
        sleep.action = action;
        sleep.seconds = 60;
        EXPECT_EQ(described(sleep), std::string("{\"message\":\"MSG_SLEEP_TIMER\",\"enabled\":"
                                                "true,\"mode\":\"") +
                                        (action == 0 ? "at time" : "end of list") +
                                        "\",\"action\":\"" + actions[action] +
                                        "\",\"secondsLeft\":60}");
    }
    wire::SleepTimerMessage odd;
    odd.action = 5;
    EXPECT_NE(describe(odd).json().find("\"action\":\"unknown\""), std::string::npos);

    wire::TrackCoverMessage trackCover;
    trackCover.image = {1, 2};
    EXPECT_EQ(described(trackCover), "{\"message\":\"MSG_TRACK_COVER\",\"bytes\":2,"
                                     "\"key\":\"00000000000000000000000000000000\"}");

    // Unknown types, client-to-server types and malformed server messages.
    EXPECT_EQ(described(17, {}), "{\"message\":\"unknown\",\"type\":17}");
    EXPECT_EQ(described(wire::MSG_LOGIN, {}), "{\"message\":\"MSG_LOGIN\",\"type\":2}");
    EXPECT_EQ(described(wire::MSG_PLAYER_STATUS, {1, 2, 3}),
              "{\"message\":\"MSG_PLAYER_STATUS\",\"type\":6,\"malformed\":true}");
}

TEST(CliOutput, LibraryListsOfEveryKind) {
    auto list = [](uint8_t code, uint32_t count, std::vector<uint8_t> entries) {
        wire::LibraryListMessage m;
        m.requestId = 5;
        m.code = code;
        m.count = count;
        m.entries = std::move(entries);
        return described(m);
    };
    const std::string head = "{\"message\":\"MSG_LIBRARY_LIST\",";
    EXPECT_EQ(list(0, 2, {'A', 0, 'B', 0}),
              head + "\"kind\":\"artists\",\"count\":2,\"entries\":[\"A\",\"B\"],\"request\":5}");
    EXPECT_EQ(list(2, 1, {'J', 0}),
              head + "\"kind\":\"genres\",\"count\":1,\"entries\":[\"J\"],\"request\":5}");
    EXPECT_EQ(list(4, 1, {'S', 0}),
              head + "\"kind\":\"composers\",\"count\":1,\"entries\":[\"S\"],\"request\":5}");
    EXPECT_EQ(list(3, 1, {'T', 0}),
              head + "\"kind\":\"track names\",\"count\":1,\"entries\":[\"T\"],\"request\":5}");
    // Title and artist pairs; an odd last text has no partner and is left out.
    EXPECT_EQ(list(5, 3, {'T', 0, 'A', 0, 'U', 0}),
              head + "\"kind\":\"albums (title, artist pairs)\",\"count\":3,\"entries\":"
                     "[{\"album\":\"T\",\"artist\":\"A\"}],\"request\":5}");

    LibraryAlbumList albums;
    albums.add({"T", "A", 7});
    EXPECT_EQ(list(6, 1, albums.encoded()),
              head + "\"kind\":\"albums\",\"count\":1,\"entries\":[{\"album\":\"T\","
                     "\"artist\":\"A\",\"number\":7}],\"request\":5}");
    LibraryTrackList tracks;
    TrackEntry<std::string> plain{"A", "N", "L", "", 125, 0, 3, 0, 4};
    TrackEntry<std::string> extra{"", "M", "", "x", 0, 0, 0, 9, 0};
    tracks.add(plain);
    tracks.add(extra);
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

    wire::SearchResultsMessage found;
    found.searchId = 3;
    found.total = 1;
    found.entries = {'S', 0};
    EXPECT_EQ(described(found), "{\"message\":\"MSG_SEARCH_RESULTS\",\"kind\":\"track names\","
                                "\"count\":1,\"entries\":[\"S\"],\"search\":3}");
}

} // namespace
