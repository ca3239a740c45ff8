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
    auto o = parse({"--port", "0", "--password", "pässword", "--library", "lib.json", "--data-dir",
                    "/tmp/d", "--verbose", "--no-bonjour"},
                   {}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->port, uint16_t(0));
    EXPECT_EQ(o->password, std::string("pässword"));
    EXPECT_EQ(o->libraryFile, "lib.json");
    EXPECT_EQ(o->dataDir, "/tmp/d");
    EXPECT_TRUE(o->verbose);
    EXPECT_TRUE(o->noBonjour);
    EXPECT_FALSE(o->listAdapters);

    auto none = parse({"--port", "65535", "--password", ""}, {{{"HOME", "/home/x"}}}, error);
    ASSERT_TRUE(none) << error;
    EXPECT_EQ(none->port, uint16_t(65535));
    EXPECT_EQ(none->password, std::string()); // an empty password for this run: none asked
    EXPECT_FALSE(none->verbose);
    EXPECT_FALSE(none->noBonjour);
    EXPECT_TRUE(none->libraryFile.empty());
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
        {{"--bogus"}, "unknown argument \"--bogus\""},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parse(c.args, {{{"HOME", "/h"}}}, error)) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
}
