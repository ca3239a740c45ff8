#include "linuxhost/HostOptions.h"

#include <gtest/gtest.h>

#include <map>

using namespace linuxhost;

namespace {
struct Env {
    std::map<std::string, std::string> vars;
    std::function<const char*(const char*)> get() {
        return [this](const char* name) -> const char* {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        };
    }
};

std::optional<HostOptions> parse(std::vector<std::string> args, Env env, std::string& error) {
    return parseHostOptions(args, env.get(), error);
}
} // namespace

TEST(HostOptions, EveryOptionAndItsOverrides) {
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
    EXPECT_EQ(o->libraryFile, "lib.json");
    EXPECT_EQ(o->dataDir, "/tmp/d");
    EXPECT_TRUE(o->verbose);
    EXPECT_FALSE(o->listAdapters);
    // Every setting given replaces the stored one; the two the update check keeps stay.
    PluginSettings s;
    s.lastUpdateCheck = 5;
    s.haveUpdateNotification = true;
    o->settings.applyTo(s);
    PluginSettings expected{false, false, u"p\u00e4ssword", 0, 0, false, true, 5, true, true};
    EXPECT_EQ(s, expected);

    auto none = parse({"--port", "65535", "--password", "", "--bonjour", "on"},
                      {{{"HOME", "/home/x"}}}, error);
    ASSERT_TRUE(none) << error;
    PluginSettings stored;
    stored.password = u"old";
    stored.bonjour = false;
    none->settings.applyTo(stored);
    EXPECT_EQ(stored.port, 65535);
    EXPECT_EQ(stored.password, u"") << "an empty password: none asked";
    EXPECT_TRUE(stored.bonjour);
    EXPECT_FALSE(none->verbose);
    EXPECT_TRUE(none->libraryFile.empty());
    EXPECT_TRUE(parse({}, {{{"HOME", "/h"}}}, error)->settings.empty());
    EXPECT_FALSE(none->mpd) << "the simulated player unless --player names MPD";

    // The last --player given counts; "sim" goes back to the simulated player.
    auto mpd = parse({"--player", "mpd://box:6601"}, {{{"HOME", "/h"}}}, error);
    ASSERT_TRUE(mpd && mpd->mpd) << error;
    EXPECT_EQ(mpd->mpd->describe(), "box:6601");
    EXPECT_FALSE(parse({"--player", "mpd", "--player", "sim"}, {{{"HOME", "/h"}}}, error)->mpd);
}

TEST(HostOptions, SettingsAreShownOrSavedOnTheirOwn) {
    std::string error;
    auto save = parse({"--save-settings", "--cover-quality", "medium"}, {{{"HOME", "/h"}}}, error);
    ASSERT_TRUE(save) << error;
    EXPECT_TRUE(save->saveSettings);
    EXPECT_EQ(save->settings.coverQuality, 1u);
    EXPECT_EQ(save->dataDir, "/h/.config/tandravole");
    auto show = parse({"--data-dir", "/d", "--show-settings"}, {}, error);
    ASSERT_TRUE(show) << error;
    EXPECT_TRUE(show->showSettings);
    auto version = parse({"--version"}, {}, error);
    ASSERT_TRUE(version) << error; // needs no data folder
    EXPECT_TRUE(version->version);
}

TEST(HostOptions, TheDataFolderComesFromXdgThenHome) {
    std::string error;
    EXPECT_EQ(parse({}, {{{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/x"}}}, error)->dataDir,
              "/cfg/tandravole");
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    EXPECT_EQ(parse({}, {{{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/x"}}}, error)->dataDir,
              "/home/x/.config/tandravole");
    EXPECT_FALSE(parse({}, {}, error));
    EXPECT_NE(error.find("--data-dir"), std::string::npos);
    EXPECT_TRUE(parse({"--data-dir", "/d"}, {}, error));
    // Listing the adapters needs no data folder.
    auto listing = parse({"--list-adapters"}, {}, error);
    ASSERT_TRUE(listing) << error;
    EXPECT_TRUE(listing->listAdapters);
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
        {{"--password"}, "--password needs a value"},
        {{"--library"}, "--library needs a value"},
        {{"--library", ""}, "--library needs a file name"},
        {{"--data-dir", ""}, "--data-dir needs a folder name"},
        {{"--data-dir"}, "--data-dir needs a value"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--bonjour", "yes"}, "--bonjour takes on or off, not \"yes\""},
        {{"--allow-kick"}, "--allow-kick needs a value"},
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
        EXPECT_FALSE(parse(c.args, {{{"HOME", "/h"}}}, error)) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
}
