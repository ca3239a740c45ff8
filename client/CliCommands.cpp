// The commands of tandravole-remote: their table and the checks of their arguments made
// before connecting.
#include "client/CliCommands.h"

#include "client/CliHandlers.h"

namespace remote {

namespace {

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string checkVolume(const CliOptions& o) {
    uint64_t n = 0;
    if (o.args.size() == 1 && !parseUnsigned(o.args[0], 100, n))
        return "volume needs a percentage from 0 to 100, not " + quoted(o.args[0]);
    return {};
}

std::string checkSeek(const CliOptions& o) {
    uint64_t ms = 0;
    if (!parsePosition(o.args[0], ms))
        return "seek needs seconds, M:SS or H:MM:SS, not " + quoted(o.args[0]);
    return {};
}

std::string checkShuffle(const CliOptions& o) {
    if (o.args.size() == 1 && o.args[0] != "on" && o.args[0] != "off")
        return "shuffle takes on or off, not " + quoted(o.args[0]);
    return {};
}

std::string checkBrowse(const CliOptions& o) {
    if (!o.genre && !o.artist && !o.album && !o.composer)
        return "browse needs at least one of --genre, --artist, --album, --composer";
    return {};
}

std::string checkCover(const CliOptions& o) {
    if (o.output.empty())
        return "cover needs --output FILE";
    if (o.artist && !o.album)
        return "cover --artist needs --album too";
    return {};
}

std::string checkEq(const CliOptions& o) {
    if (o.args.empty())
        return {};
    const std::string& sub = o.args[0];
    const size_t given = o.args.size();
    uint64_t n = 0;
    if (sub == "on" || sub == "off" || sub == "presets") {
        if (given != 1)
            return "eq " + sub + " takes no further arguments";
    } else if (sub == "preset") {
        if (given != 2 || !parseUnsigned(o.args[1], 0xFFFFFFFF, n))
            return "eq preset needs a preset number";
    } else if (sub == "set") {
        // The band count is checked against the server's equalizer when it runs.
        if (given < 3)
            return "eq set needs PREAMP and band values";
        for (size_t i = 1; i < given; ++i)
            if (!parseUnsigned(o.args[i], 200, n))
                return "eq set values must be 0..200, not " + quoted(o.args[i]);
    } else {
        return "eq takes on, off, presets, preset N or set, not " + quoted(sub);
    }
    return {};
}

std::string checkSleepTimer(const CliOptions& o) {
    uint64_t minutes = 0;
    if (o.args.size() == 1) {
        const std::string& a = o.args[0];
        if (a != "off" && a != "end-of-list" && !parseUnsigned(a, kMaxTimerMinutes, minutes))
            return "sleep-timer takes MINUTES, end-of-list or off, not " + quoted(a);
    }
    return {};
}

} // namespace

const std::vector<Command>& commandTable() {
    static const std::vector<Command> table = {
        {"status",
         0,
         0,
         {{"status", "player state, position, volume, shuffle, repeat, current track"}},
         nullptr,
         runStatus},
        {"play",
         0,
         0,
         {{"play", "start playback"}},
         nullptr,
         [](CliSession& s) { return s.commandThenStatus(wire::CMD_PLAY, 0, "play"); }},
        {"pause",
         0,
         0,
         {{"pause", "pause playback (nothing happens unless playing)"}},
         nullptr,
         runPause},
        {"stop",
         0,
         0,
         {{"stop", "stop playback"}},
         nullptr,
         [](CliSession& s) { return s.commandThenStatus(wire::CMD_STOP, 0, "stop"); }},
        {"next",
         0,
         0,
         {{"next | prev", "next or previous track"}},
         nullptr,
         [](CliSession& s) { return s.commandThenStatus(wire::CMD_NEXT, 0, "next"); }},
        {"prev",
         0,
         0,
         {},
         nullptr,
         [](CliSession& s) { return s.commandThenStatus(wire::CMD_PREVIOUS, 0, "prev"); }},
        {"volume",
         0,
         1,
         {{"volume [PERCENT]", "show the volume, or set it to 0..100"}},
         checkVolume,
         runVolume},
        {"seek",
         1,
         1,
         {{"seek POSITION", "jump to seconds, M:SS or H:MM:SS in the current track"}},
         checkSeek,
         runSeek},
        {"shuffle", 0, 1, {{"shuffle [on|off]", "show or set shuffle"}}, checkShuffle, runShuffle},
        {"repeat",
         0,
         0,
         {{"repeat", "switch repeat of the playing-now list on or off"}},
         nullptr,
         [](CliSession& s) { return s.commandThenStatus(wire::CMD_REPEAT, 0, "repeat"); }},
        {"now-playing",
         0,
         0,
         {{"now-playing", "list the playing-now entries"}},
         nullptr,
         runNowPlaying},
        {"playlists", 0, 0, {{"playlists", "list the stored playlists"}}, nullptr, runPlaylists},
        {"artists",
         0,
         0,
         {{"artists | albums | genres | composers", "list a category of the music library"}},
         nullptr,
         [](CliSession& s) { return runList(s, wire::QUERY_ARTISTS, "listing artists"); }},
        {"albums",
         0,
         0,
         {},
         nullptr,
         [](CliSession& s) { return runList(s, wire::QUERY_ALBUMS, "listing albums"); }},
        {"genres",
         0,
         0,
         {},
         nullptr,
         [](CliSession& s) { return runList(s, wire::QUERY_GENRES, "listing genres"); }},
        {"composers",
         0,
         0,
         {},
         nullptr,
         [](CliSession& s) { return runList(s, wire::QUERY_COMPOSERS, "listing composers"); }},
        {"browse",
         0,
         0,
         {{"browse --genre G --artist A --album B --composer C",
           "drill down into the library (at least one filter)"}},
         checkBrowse,
         runBrowse},
        {"search", 1, -1, {{"search WORDS...", "search the library"}}, nullptr, runSearch},
        {"cover",
         0,
         0,
         {{"cover --output FILE [--album B [--artist A] [--size N]]",
           "save an album's cover (or, without --album, the current\n"
           "track's cover) to FILE; N is the wanted size in pixels\n"
           "(default 200; 64 or less asks for the small thumbnail)"}},
         checkCover,
         runCover},
        {"eq",
         0,
         12,
         {{"eq", "show the equalizer"},
          {"eq on | eq off", "switch the equalizer on or off"},
          {"eq presets", "list the equalizer presets"},
          {"eq preset N", "apply preset number N"},
          {"eq set PREAMP V1..V10", "set preamp and the ten bands (each 0..200, 100 = flat)"}},
         checkEq,
         runEq},
        {"sleep-timer",
         0,
         1,
         {{"sleep-timer", "show the sleep timer"},
          {"sleep-timer MINUTES", "stop playback after MINUTES"},
          {"sleep-timer end-of-list", "stop playback at the end of the playing-now list"},
          {"sleep-timer off", "cancel the sleep timer"},
          {"--then stop|shutdown|suspend", "what happens when the timer fires (default stop)"}},
         checkSleepTimer,
         runSleepTimer},
        {"watch",
         0,
         0,
         {{"watch [--count N] [--seconds S]",
           "print messages from the server as they arrive, until N\n"
           "messages or S seconds (default: until the connection ends)"}},
         nullptr,
         runWatch},
    };
    return table;
}

const Command* findCommand(std::string_view name) {
    for (const Command& c : commandTable())
        if (name == c.name)
            return &c;
    return nullptr;
}

} // namespace remote
