// tandravole-host's run in this process: the demo library served on 127.0.0.1 to the real
// client, options that hold for one run only, and the failures a user must be told about.
#include "linuxhost/LinuxHost.h"
#include "bridge/PluginSettings.h"
#include "client/RemoteClient.h"
#include "platform/Registry.h"
#include "platform/Socket.h"
#include "server/wire/Commands.h"
#include "server/wire/Messages.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using linuxhost::HostOptions;
using linuxhost::LinuxHost;
using testing_support::waitUntil;

namespace {

class LinuxHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = fs::temp_directory_path() / ("tandravole-host-test-" + std::to_string(stamp));
        options.dataDir = (dir / "data").string();
        options.port = 0;
        // The DNS-SD registration has its own test against a daemon that cannot reach the
        // network (scripts/dnssd-loopback.sh).
        options.noBonjour = true;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    bool printed(const std::ostringstream& stream, const std::string& text) {
        return stream.str().find(text) != std::string::npos;
    }

    fs::path dir;
    HostOptions options;
    std::ostringstream out, err;
};

TEST_F(LinuxHostTest, ServesTheDemoLibraryWithThisRunsPasswordAndSavesNothing) {
    options.password = "open sesame";
    options.verbose = true;
    LinuxHost host(options, out, err);
    int code = -1;
    std::thread running([&] { code = host.run(); });
    // Generous: the demo library and its covers are made first, slowly under a sanitizer.
    ASSERT_TRUE(waitUntil([&] { return host.port() != 0; }, 60000));
    const uint16_t port = host.port();
    {
        remote::RemoteClient app;
        ASSERT_EQ(app.connect("127.0.0.1", port, 5000), remote::ClientStatus::Ok);
        EXPECT_EQ(app.hello().passwordRequired, 1);
        EXPECT_EQ(app.login("", true, 0, 5000), remote::ClientStatus::LoginRefused);
        ASSERT_EQ(app.login("open sesame", true, 0, 5000), remote::ClientStatus::Ok);
        ASSERT_TRUE(app.query(wire::QUERY_ARTISTS, 0));
        wire::ReceivedMessage m;
        ASSERT_EQ(app.waitForType(wire::MSG_LIBRARY_LIST, m, 5000), remote::ClientStatus::Ok);
        auto list = remote::decodeAs<wire::LibraryListMessage>(m);
        ASSERT_TRUE(list);
        EXPECT_GT(list->count, 10u); // the demo library's artists
        // A power action (allowed with a password) is announced, never carried out.
        ASSERT_TRUE(app.query(wire::QUERY_POWER_ACTION, 2));
        // Queries are handled in order: once the genres are back, the action has started.
        // (Not the status: a pushed status would answer the wait.)
        ASSERT_TRUE(app.query(wire::QUERY_GENRES, 0));
        ASSERT_EQ(app.waitForType(wire::MSG_LIBRARY_LIST, m, 5000), remote::ClientStatus::Ok);

        // A stop (Ctrl-C, SIGTERM) ends the session the way the end of a Windows session does.
        host.stop();
        ASSERT_EQ(app.waitForType(wire::MSG_SERVER_NOTICE, m, 5000), remote::ClientStatus::Ok);
        auto notice = remote::decodeAs<wire::ServerNoticeMessage>(m);
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->reason, wire::NOTICE_SESSION_END);
    }
    running.join();
    EXPECT_EQ(code, linuxhost::kExitOk);
    const std::string where = "listening on port " + std::to_string(port);
    EXPECT_TRUE(printed(out, where + " on every interface, password set, the demo library: "))
        << out.str();
    EXPECT_TRUE(printed(out, "connect with: tandravole-remote --host 127.0.0.1 --port " +
                                 std::to_string(port) + " --password TEXT status"))
        << out.str();
    EXPECT_TRUE(printed(out, "tandravole-host: stopped")) << out.str();
    EXPECT_TRUE(printed(out, "not advertised with DNS-SD (--no-bonjour)")) << out.str();
    EXPECT_TRUE(printed(out, "the player would power off the computer now; this host leaves it "
                             "running"))
        << out.str();
    // --verbose: the session's events as they happened.
    EXPECT_TRUE(printed(err, "session: connection 1: login refused")) << err.str();
    EXPECT_TRUE(printed(err, "session: connection 1 logged in")) << err.str();

    // --port and --password held for the run only: the stored settings are the defaults.
    PluginSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored, PluginSettings());
    EXPECT_EQ(platform::registryStoreFile(), (fs::path(options.dataDir) / "settings.reg").string());
}

TEST_F(LinuxHostTest, APortInUseIsRefusedWithTheSystemsReason) {
    ASSERT_TRUE(platform::socketStartup());
    platform::SocketHandle taken = platform::listenTcp4(0);
    ASSERT_NE(taken, platform::kInvalidSocket);
    options.port = platform::socketLocalPort(taken);
    LinuxHost host(options, out, err);
    EXPECT_EQ(host.run(), linuxhost::kExitStartFailed); // returns without a stop
    platform::closeSocket(taken);
    platform::socketCleanup();
    EXPECT_TRUE(printed(err, "tandravole-host: Could not start server, please make sure the "
                             "selected port isn't already in use. ("))
        << err.str();
    EXPECT_TRUE(printed(err, "in use")) << err.str(); // the system's own words
    EXPECT_FALSE(printed(out, "listening")) << out.str();
    EXPECT_EQ(host.port(), 0);
}

TEST_F(LinuxHostTest, ABadLibraryFileIsNamedWithThePlaceOfTheMistake) {
    fs::create_directories(dir);
    const fs::path file = dir / "library.json";
    std::ofstream(file) << "{\"tracks\": [\n  {\"name\": \"A\", \"rating\": 9}\n]}\n";
    options.libraryFile = file.string();
    LinuxHost host(options, out, err);
    EXPECT_EQ(host.run(), linuxhost::kExitStartFailed);
    EXPECT_TRUE(printed(err, file.string())) << err.str();
    EXPECT_TRUE(printed(err, "line 2")) << err.str();
    EXPECT_FALSE(printed(out, "listening")) << out.str();

    std::ostringstream out2, err2;
    options.libraryFile = (dir / "missing.json").string();
    LinuxHost missing(options, out2, err2);
    EXPECT_EQ(missing.run(), linuxhost::kExitStartFailed);
    EXPECT_TRUE(printed(err2, options.libraryFile)) << err2.str();
}

TEST_F(LinuxHostTest, ADamagedSettingsFileIsReportedAndTheDefaultsServe) {
    fs::create_directories(options.dataDir);
    const fs::path settings = fs::path(options.dataDir) / "settings.reg";
    std::ofstream(settings) << "\x01\x02 not a settings file";
    LinuxHost host(options, out, err);
    host.stop(); // asked before the run: it starts, says where it listens and ends at once
    EXPECT_EQ(host.run(), linuxhost::kExitOk);
    EXPECT_TRUE(printed(err, settings.string())) << err.str();
    EXPECT_TRUE(printed(err, "the settings start from their defaults")) << err.str();
    EXPECT_TRUE(printed(out, "no password")) << out.str();
    EXPECT_TRUE(fs::exists(settings.string() + ".damaged"));
}

} // namespace

TEST(LinuxHostAdapters, TheListIsInColumnsAndSaysWhenThereIsNone) {
    using services::adapters::NetworkAdapterInfo;
    EXPECT_EQ(linuxhost::describeAdapters({}),
              "no active IPv4 network adapter besides the loopback\n");
    EXPECT_EQ(linuxhost::describeAdapters({{u"eth0", u"192.168.1.20", u"00-1a-2b-3c-4d-5e"},
                                           {u"wlan-long", u"10.0.0.7", u""},
                                           {u"tun0", u"", u"02-00-00-00-00-01"}}),
              "eth0       192.168.1.20  00-1a-2b-3c-4d-5e\n"
              "wlan-long  10.0.0.7\n"
              "tun0                     02-00-00-00-00-01\n");
}
