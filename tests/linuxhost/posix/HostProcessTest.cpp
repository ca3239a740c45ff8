// tandravole-host run as a process, as a person runs it: SIGTERM or Ctrl-C ends the session of
// a logged-in app with notice 2 and the process with 0; a mistake on the command line ends it
// with 2 and a line on stderr; --version and --help with 0.
#include "tools/storm/posix/HostProcess.h"
#include "client/RemoteClient.h"
#include "platform/Socket.h"
#include "server/wire/Messages.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr uint32_t kWaitMs = 10000;
// A first start in a fresh data folder writes the demo library's covers: on a machine busy
// with other builds that alone has taken more than ten seconds.
constexpr uint32_t kStartMs = 60000;

TEST(HostProcess, ASignalEndsTheSessionWithNoticeTwoAndTheProcessWithZero) {
    ASSERT_TRUE(platform::socketStartup());
    for (int signal : {SIGTERM, SIGINT}) {
        const testing_support::TempFolder data;
        storm::HostProcess host(TANDRAVOLE_HOST_EXE,
                                {"--port", "0", "--data-dir", data.path.string(), "--no-bonjour"});
        const uint16_t port = host.waitForPort(kStartMs);
        ASSERT_NE(port, 0) << host.output();
        remote::RemoteClient app;
        ASSERT_EQ(app.connect("127.0.0.1", port, kWaitMs), remote::ClientStatus::Ok);
        ASSERT_EQ(app.login("", true, 0, kWaitMs), remote::ClientStatus::Ok);
        host.signal(signal);
        wire::ReceivedMessage m;
        ASSERT_EQ(app.waitForType(wire::MSG_SERVER_NOTICE, m, kWaitMs), remote::ClientStatus::Ok);
        auto notice = remote::decodeAs<wire::ServerNoticeMessage>(m);
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->reason, wire::NOTICE_SESSION_END);
        EXPECT_EQ(host.waitForExit(kWaitMs), 0) << host.output();
    }
    platform::socketCleanup();
}

TEST(HostProcess, CommandLineMistakesExitWithTwoAndHelpAndVersionWithZero) {
    const struct {
        std::vector<std::string> args;
        const char* says;
        int code;
    } cases[] = {
        {{"--port", "70000"}, "tandravole-host: --port takes a number", 2},
        {{"--help"}, "usage: tandravole-host", 0},
        {{"--version"}, "tandravole-host " TANDRAVOLE_FILE_VERSION "\n", 0},
    };
    for (const auto& c : cases) {
        storm::HostProcess host(TANDRAVOLE_HOST_EXE, c.args);
        EXPECT_TRUE(host.waitForOutput(c.says, kWaitMs)) << host.output();
        EXPECT_EQ(host.waitForExit(kWaitMs), c.code) << c.says;
    }
}

} // namespace
