// tandravole-host's run in this process: options that hold for one run only, stored settings,
// the lines it starts with and the failures a user must be told about. (The storm and the
// process tests run the built program with apps logged in.)
#include "linuxhost/LinuxHost.h"
#include "bridge/PluginSettings.h"
#include "linuxhost/SettingsCommand.h"
#include "platform/Registry.h"
#include "platform/Socket.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using linuxhost::HostOptions;
using linuxhost::LinuxHost;

namespace {

class LinuxHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.dataDir = (dir / "data").string();
        options.settings.port = 0;
        // The DNS-SD registration has its own test against a daemon that cannot reach the
        // network (scripts/dnssd-loopback.sh).
        options.settings.bonjour = false;
    }
    bool printed(const std::ostringstream& stream, const std::string& text) {
        return stream.str().find(text) != std::string::npos;
    }

    const testing_support::TempFolder temp;
    const fs::path& dir = temp.path;
    HostOptions options;
    std::ostringstream out, err;
};

TEST_F(LinuxHostTest, StartFailuresAreNamedAndEndTheRunWithOne) {
    ASSERT_TRUE(platform::socketStartup());
    platform::SocketHandle taken = platform::listenTcp4(0);
    ASSERT_NE(taken, platform::kInvalidSocket);
    platform::SocketHandle closed = platform::listenTcp4(0); // a port where no MPD answers
    const uint16_t noMpd = platform::socketLocalPort(closed);
    platform::closeSocket(closed);
    const std::string bad = (dir / "library.json").string();
    // A damaged settings file is reported (in the first run) and kept aside; the defaults serve.
    fs::create_directories(options.dataDir);
    const std::string settings = (fs::path(options.dataDir) / "settings.reg").string();
    std::ofstream(settings) << "\x01\x02 not a settings file";
    std::ofstream(bad) << "{\"tracks\": [\n  {\"name\": \"A\", \"rating\": 9}\n]}\n";
    options.settings.password = "for these runs only";
    const struct {
        uint16_t port;
        std::string library;
        std::optional<mpdclient::Address> mpd;
        std::vector<std::string> says;
    } cases[] = {
        {platform::socketLocalPort(taken),
         "",
         std::nullopt,
         {"tandravole-host: Could not start server, please make sure the selected port isn't "
          "already in use. (",
          "in use", // the system's own words
          settings, "the settings start from their defaults"}},
        {0, bad, std::nullopt, {bad + ": line 2"}},
        {0,
         "",
         mpdclient::Address{"127.0.0.1", noMpd, ""},
         {"tandravole-host: cannot reach MPD at 127.0.0.1:" + std::to_string(noMpd) +
          ": Connection refused\n"}},
    };
    for (const auto& c : cases) {
        std::ostringstream runOut, runErr;
        options.settings.port = c.port;
        options.libraryFile = c.library;
        options.mpd = c.mpd;
        LinuxHost host(options, runOut, runErr);
        EXPECT_EQ(host.run(), linuxhost::kExitStartFailed); // returns without a stop
        for (const std::string& text : c.says)
            EXPECT_TRUE(printed(runErr, text)) << runErr.str();
        EXPECT_FALSE(printed(runOut, "listening")) << runOut.str();
        EXPECT_EQ(host.port(), 0);
    }
    platform::closeSocket(taken);
    platform::socketCleanup();
    EXPECT_TRUE(fs::exists(settings + ".damaged"));
    // The runs' port and password are not stored: the stored settings are the defaults.
    PluginSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored, PluginSettings());
    EXPECT_EQ(platform::registryStoreFile(), settings);
}

TEST_F(LinuxHostTest, SavedSettingsAreWhatThePanelWritesServeTheNextRunOrAreReported) {
    ASSERT_TRUE(platform::socketStartup());
    platform::SocketHandle probe = platform::listenTcp4(0);
    const uint16_t port = platform::socketLocalPort(probe);
    platform::closeSocket(probe);
    HostOptions save;
    save.dataDir = options.dataDir;
    save.saveSettings = true;
    save.settings.port = port;
    save.settings.password = "s3cret";
    save.settings.allowKick = true;
    ASSERT_EQ(linuxhost::runSettingsCommand(save, out, err), linuxhost::kExitOk) << err.str();
    const std::string file = (fs::path(options.dataDir) / "settings.reg").string();
    EXPECT_EQ(out.str(), "stored in " + file + ":\n  --server on\n  --port " +
                             std::to_string(port) +
                             "\n  --password (set)\n  --bonjour on\n  --cover-quality high\n"
                             "  --update-check on\n  --allow-kick on\n  --update-notice off\n"
                             "  last update check: never\n  newer version found: no\n");

    // The next run takes them (this run's options leave the port and password alone).
    options.settings = {};
    options.settings.bonjour = false;
    std::ostringstream runOut, runErr;
    LinuxHost host(options, runOut, runErr);
    host.stop();
    EXPECT_EQ(host.run(), linuxhost::kExitOk) << runErr.str();
    EXPECT_TRUE(printed(runOut, "listening on port " + std::to_string(port) +
                                    " on every interface, password set"))
        << runOut.str();
    platform::socketCleanup();

    // An empty password removes the value; the rest stays as stored.
    save.settings = {};
    save.settings.password = "";
    std::ostringstream again;
    ASSERT_EQ(linuxhost::runSettingsCommand(save, again, err), linuxhost::kExitOk);
    PluginSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(std::tuple(stored.password, stored.port, stored.allowKick),
              std::tuple(u"", port, true));

    HostOptions show;
    show.dataDir = options.dataDir;
    show.showSettings = true;
    std::ostringstream shown;
    ASSERT_EQ(linuxhost::runSettingsCommand(show, shown, err), linuxhost::kExitOk);
    EXPECT_EQ(shown.str(), "stored in " + file + ":\n" + linuxhost::describeSettings(stored));

    // No folder can be made below a file: nothing is said to be stored.
    std::ofstream(dir / "a-file") << "x";
    save.dataDir = (dir / "a-file" / "data").string();
    save.settings.port = 1234;
    std::ostringstream none, why;
    EXPECT_EQ(linuxhost::runSettingsCommand(save, none, why), linuxhost::kExitStartFailed);
    EXPECT_TRUE(printed(why, "could not store the settings in " + save.dataDir)) << why.str();
    EXPECT_EQ(none.str(), "");
}

} // namespace

TEST(LinuxHostSettings, TheLastUpdateCheckIsADateInUtc) {
    constexpr uint64_t k1970 = 116444736000000000ull; // as a Windows file time
    const std::pair<uint64_t, std::string> cases[] = {
        {0, "never"},
        {k1970 - 1, "before 1970"},
        {k1970, "1970-01-01 00:00 UTC"},
        {k1970 + 599999999, "1970-01-01 00:00 UTC"}, // a tenth of a microsecond short of 1:00
        {k1970 + 600000000, "1970-01-01 00:01 UTC"},
        {133000000000000000ull, "2022-06-18 04:26 UTC"}};
    for (const auto& [fileTime, text] : cases) {
        PluginSettings s;
        s.lastUpdateCheck = fileTime;
        EXPECT_NE(linuxhost::describeSettings(s).find("last update check: " + text + "\n"),
                  std::string::npos)
            << fileTime;
    }
}

TEST(LinuxHostStartLines, AddressesForTheAppTheAdapterListAndTheRemoteAsItRunsFromHere) {
    EXPECT_EQ(linuxhost::describeAppAddresses({}, 19371),
              "no network adapter besides the loopback: only this computer can connect, on port "
              "19371");
    EXPECT_EQ(linuxhost::describeAppAddresses({{u"eth0", u"192.168.1.20", u"00-1a"}}, 5),
              "an app on the network connects to 192.168.1.20 (eth0), port 5");
    EXPECT_EQ(
        linuxhost::describeAppAddresses(
            {{u"eth0", u"192.168.1.20", u""}, {u"tun0", u"", u""}, {u"wlan0", u"10.0.0.7", u""}},
            19371),
        "an app on the network connects to one of 192.168.1.20 (eth0), 10.0.0.7 (wlan0), "
        "port 19371");

    EXPECT_EQ(linuxhost::describeAdapters({}),
              "no active IPv4 network adapter besides the loopback\n");
    EXPECT_EQ(linuxhost::describeAdapters({{u"eth0", u"192.168.1.20", u"00-1a-2b-3c-4d-5e"},
                                           {u"wlan-long", u"10.0.0.7", u""},
                                           {u"tun0", u"", u"02-00-00-00-00-01"}}),
              "eth0       192.168.1.20  00-1a-2b-3c-4d-5e\n"
              "wlan-long  10.0.0.7\n"
              "tun0                     02-00-00-00-00-01\n");

    // Only when no daemon answers is installing one the advice.
    for (int32_t error : {-65537, -65563})
        EXPECT_EQ(linuxhost::dnsSdFailure(error),
                  "not advertised with DNS-SD (error " + std::to_string(error) +
                      "): for the app to find this host, install and start avahi-daemon (apt-get "
                      "install avahi-daemon libavahi-compat-libdnssd1; systemctl enable --now "
                      "avahi-daemon); meanwhile enter an address above in the app");
    EXPECT_EQ(linuxhost::dnsSdFailure(-65548),
              "not advertised with DNS-SD (error -65548); enter an address above in the app");

    // A build tree (linuxhost/ beside client/) and an installed folder with both programs.
    const testing_support::TempFolder temp;
    const fs::path root = fs::weakly_canonical(temp.path);
    const fs::path build = root / "clone" / "build" / "native", bin = root / "bin";
    for (const fs::path& f :
         {build / "linuxhost" / "tandravole-host", build / "client" / "tandravole-remote",
          bin / "tandravole-host", bin / "tandravole-remote"}) {
        fs::create_directories(f.parent_path());
        std::ofstream(f) << "#!/bin/sh\n";
    }
    const std::string host = (build / "linuxhost" / "tandravole-host").string();
    const std::string remote = (build / "client" / "tandravole-remote").string();
    const struct {
        std::string program, cwd, path, expected;
    } cases[] = {
        {host, (root / "clone").string(), "/usr/bin", "build/native/client/tandravole-remote"},
        {host, (build / "client").string(), "", "./tandravole-remote"},
        {host, root.string() + "/elsewhere", "", remote},
        {host, "/", bin.string(), remote}, // the PATH's is another one
        {(bin / "tandravole-host").string(), "/", "relative:" + bin.string(), "tandravole-remote"},
        {(bin / "tandravole-host").string(), bin.string(), "", "./tandravole-remote"},
        {(root / "nowhere" / "tandravole-host").string(), "/", "", "tandravole-remote"},
        {"", "/", "", "tandravole-remote"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linuxhost::remoteCommand(c.program, c.cwd, c.path), c.expected)
            << c.program << " from " << c.cwd << " with PATH " << c.path;
}
