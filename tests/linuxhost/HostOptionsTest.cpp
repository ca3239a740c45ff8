#include "linuxhost/HostOptions.h"

#include <gtest/gtest.h>

#include <map>

using namespace linuxhost;

namespace {
std::optional<HostOptions> parse(std::vector<std::string> args,
                                 std::map<std::string, std::string> env, std::string& error) {
    return parseHostOptions(
        args,
        [&env](const char* name) -> const char* {
            auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        },
        error);
}
} // namespace

TEST(HostOptions, EveryOptionItsOverridesAndTheDataFolder) {
    std::string error;
    auto o = parse({"--port",          "0",
                    "--password",      "p\xc3\xa4ssword",
                    "--library",       "lib.json",
                    "--data-dir",      "/tmp/d",
                    "--verbose",       "--no-bonjour",
                    "--server",        "off",
                    "--cover-quality", "low",
                    "--update-check",  "off",
                    "--allow-kick",    "on",
                    "--update-notice", "on"},
                   {}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(std::tuple(o->libraryFile, o->dataDir, o->verbose, o->listAdapters, bool(o->mpd)),
              std::tuple("lib.json", "/tmp/d", true, false, false));
    // Every setting given replaces the stored one; the two the update check keeps stay.
    PluginSettings s;
    s.lastUpdateCheck = 5;
    s.haveUpdateNotification = true;
    o->settings.applyTo(s);
    EXPECT_EQ(s,
              (PluginSettings{false, false, u"p\u00e4ssword", 0, 0, false, true, 5, true, true}));

    auto top = parse({"--port", "65535", "--password", "", "--bonjour", "on"}, {}, error);
    ASSERT_FALSE(top) << "no data folder without HOME";
    EXPECT_NE(error.find("--data-dir"), std::string::npos);
    top = parse({"--port", "65535", "--password", "", "--bonjour", "on", "--save-settings",
                 "--cover-quality", "medium"},
                {{"HOME", "/h"}}, error);
    ASSERT_TRUE(top) << error;
    PluginSettings stored;
    stored.password = u"old";
    stored.bonjour = false;
    top->settings.applyTo(stored);
    EXPECT_EQ(std::tuple(stored.port, stored.password, stored.bonjour, stored.coverQuality),
              std::tuple(65535, u"", true, 1u))
        << "an empty password: none asked";
    EXPECT_TRUE(top->saveSettings);
    EXPECT_EQ(top->dataDir, "/h/.config/tandravole");
    EXPECT_TRUE(parse({}, {{"HOME", "/h"}}, error)->settings.empty());
    // XDG_CONFIG_HOME comes first; a relative one is ignored, as the base directory rules say.
    EXPECT_EQ(parse({}, {{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/x"}}, error)->dataDir,
              "/cfg/tandravole");
    EXPECT_EQ(parse({}, {{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/x"}}, error)->dataDir,
              "/x/.config/tandravole");
    // Showing the settings and the adapters need no data folder of their own.
    EXPECT_TRUE(parse({"--data-dir", "/d", "--show-settings"}, {}, error)->showSettings);
    EXPECT_TRUE(parse({"--list-adapters"}, {}, error)->listAdapters);

    // The last --player given counts; "sim" goes back to the simulated player.
    auto mpd = parse({"--player", "mpd://box:6601"}, {{"HOME", "/h"}}, error);
    ASSERT_TRUE(mpd && mpd->mpd) << error;
    EXPECT_EQ(mpd->mpd->describe(), "box:6601");
    EXPECT_FALSE(parse({"--player", "mpd", "--player", "sim"}, {{"HOME", "/h"}}, error)->mpd);
}

TEST(HostOptions, MistakesAreNamed) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port takes a number from 0 to 65535, not \"65536\""},
        {{"--port", "-1"}, "--port takes a number from 0 to 65535, not \"-1\""},
        {{"--port", "80x"}, "--port takes a number from 0 to 65535, not \"80x\""},
        {{"--library", ""}, "--library needs a file name"},
        {{"--data-dir", ""}, "--data-dir needs a folder name"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--bonjour", "yes"}, "--bonjour takes on or off, not \"yes\""},
        {{"--cover-quality", "2"}, "--cover-quality takes low, medium or high, not \"2\""},
        {{"--save-settings"},
         "--save-settings needs the settings to store (--port, --password, "
         "...)"},
        {{"--show-settings", "--port", "1"},
         "--show-settings takes no settings; give them with --save-settings to store them"},
        {{"--save-settings", "--port", "1", "--library", "x.json"},
         "--library belongs to a run, not to --save-settings"},
        {{"--show-settings", "--verbose"}, "--verbose belongs to a run, not to --show-settings"},
        {{"--save-settings", "--port", "1", "--player", "mpd"},
         "--player belongs to a run, not to --save-settings"},
        {{"--player", "mpd", "--library", "x.json"},
         "--library is for the simulated player; MPD plays its own library"},
        {{"--player"}, "--player needs a value"},
        {{"--player", "mpd://"}, "--player: mpd:// needs a host"},
        {{"--show-settings", "--save-settings", "--port", "1"},
         "--save-settings shows what it stored; --show-settings is not needed with it"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parse(c.args, {{"HOME", "/h"}}, error)) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
}
